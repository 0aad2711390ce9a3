#include "shell/StatusMessages.h"

#include <iterator>

namespace {

struct StatusMessage {
    StatusMsg number;
    const char* japanese;
    const char* english;
};

constexpr StatusMessage kStatusMessages[] = {
    {StatusMsg::Welcome, "QMX-001設定プログラムへようこそ", "Welcome QMX-001 configuration."},
    {StatusMsg::Connected, "QMX-001が接続されました。", "Connected QMX-001."},
    {StatusMsg::ConnectedAndLoaded, "QMX-001が接続され、設定値が読み込まれました。",
     "Connected QMX-001,with load config data."},
    {StatusMsg::LoadedFromController, "QMX-001から設定値を読込みました。",
     "Load complete config data from QMX-001."},
    {StatusMsg::StoredToController, "QMX-001に設定値を書込みました。",
     "Store complete config data."},
    {StatusMsg::Disconnected, "QMX-001が切断されました。", "Disconnected QMX-001."},
    {StatusMsg::LoadedFromFile, "ファイルから設定値を読込みました。",
     "Load complete config data from file."},
    {StatusMsg::StoredToFile, "ファイルに設定値を書込みました。",
     "Store complete config data for file."},
};

constexpr bool RowsInNumberOrder() {
    for (size_t i = 0; i < std::size(kStatusMessages); ++i)
        if (int(kStatusMessages[i].number) != int(i))
            return false;
    return true;
}
static_assert(RowsInNumberOrder(), "a status message's row is its number");

} // namespace

QString StatusMessageText(int number, Language language) {
    if (number < 0 || number >= int(std::size(kStatusMessages)))
        return {};
    const StatusMessage& message = kStatusMessages[number];
    return QString::fromUtf8(language.IsEnglish() ? message.english : message.japanese);
}
