#include "ui/main/FieldTexts.h"

#include "shell/EditRules.h"
#include "shell/Numbers.h"
#include "shell/RecordFields.h"
#include "ui/main/MainControls.h"

#include <array>

namespace FieldTexts {

namespace {

struct FieldCaption {
    int field;
    MainControls::JaEn caption;
};

// clang-format off
constexpr auto kCaptions = std::to_array<FieldCaption>({
    {Field("defaultSpeedMin"),           {"速度初期値 運転速度S", "DEFAULT SPEED S"}},
    {Field("defaultSpeedMax"),           {"速度初期値 運転速度F", "DEFAULT SPEED F"}},
    {Field("defaultAccelTime"),          {"速度初期値 加減速時間", "DEFAULT ACCELERATION TIME"}},
    {Field("jogSpeedMin"),               {"JOG速度 運転速度S", "JOG SPEED S"}},
    {Field("jogSpeedMax"),               {"JOG速度 運転速度F", "JOG SPEED F"}},
    {Field("jogAccelTime"),              {"JOG速度 加減速時間", "JOG ACCELERATION TIME"}},
    {Field("originSpeedMin"),            {"ORG速度 運転速度S", "ORG SPEED S"}},
    {Field("originSpeedMax"),            {"ORG速度 運転速度F", "ORG SPEED F"}},
    {Field("originAccelTime"),           {"ORG速度 加減速時間", "ORG ACCELERATION TIME"}},
    {Field("excitationAtStartUp"),       {"起動時の励磁", "EXCITATION AT START-UP"}},
    {Field("autoExcitation"),            {"自動励磁", "AUTOMATIC MOTOR LOCK"}},
    {Field("excitationAtEmergencyStop"), {"非常停止時の励磁", "EXCITATION AT EMG-STOP"}},
    {Field("jogInputEnabled"),           {"ジョグスイッチ／外部ジョグ動作", "JOG SW/SIGNAL"}},
    {Field("comSpeedIndex"),             {"通信速度", "BAUD RATE"}},
    {Field("comFlowControl"),            {"フロー制御", "FLOW CONTROL"}},
    {Field("originMode"),                {"原点復帰モード", "ORIGIN MODE"}},
    {Field("originOffset"),              {"原点オフセット", "OFFSET of ORIGIN"}},
    {Field("limitSensorMode(0)"),        {"LS(+)", "LS(+)"}},
    {Field("limitSensorMode(1)"),        {"LS(-)", "LS(-)"}},
    {Field("reverseDirection"),          {"回転方向", "DIRECTION"}},
    {Field("stepMode"),                  {"駆動方式", "STEP DRIVE"}},
    {Field("runCurrent"),                {"駆動(RUN)電流", "RUN CURRENT"}},
    {Field("stopCurrent"),               {"停止(STOP)電流", "STOP CURRENT"}},
    {Field("ctValue"),                   {"CT値（電流切替）", "CT VALUE (current change)"}},
    {Field("rotationStage"),             {"ステージの種類", "STAGE TYPE"}},
    {Field("jogDialEnabled"),            {"外部ジョグダイヤル", "JOG DIAL"}},
    {Field("jogDialPulses"),             {"ジョグダイヤルパルス数", "JOG DIAL PULSES"}},
});
// clang-format on

QString Text(const MainControls::JaEn& text, Language language) {
    const char* chosen = MainControls::InLanguage(text, language.IsEnglish());
    return QString::fromUtf8(chosen ? chosen : text.japanese);
}

// The caption of the option button the record selects for the field, if a group selects it.
std::optional<QString> ChosenOption(int field, const ConfigRecord& record, Language language) {
    using What = MainControls::Drive::What;
    for (const MainControls::ControlRow& row : MainControls::Controls()) {
        if (row.drive.what != What::Choice)
            continue;
        const auto choice = EditRules::Choice(row.drive.which);
        if (EditRules::FieldOf(choice, row.index) != field)
            continue;
        if (EditRules::Chosen(record, choice, row.index / 2) == row.index)
            return Text(row.caption, language).trimmed();
    }
    return std::nullopt;
}

} // namespace

QString Caption(int field, Language language) {
    for (const FieldCaption& row : kCaptions)
        if (row.field == field)
            return Text(row.caption, language);
    return RecordFields::Name(RecordFields::Row(field));
}

QString Value(int field, const ConfigRecord& record, Language language) {
    const RecordField& row = RecordFields::Row(field);
    const double value = row.get(record);
    if (field == Field("limitSensorMode(0)") || field == Field("limitSensorMode(1)")) {
        if (value == -1)
            return language.JaEn(QStringLiteral("無効"), QStringLiteral("not used"));
    }
    if (const std::optional<QString> option = ChosenOption(field, record, language))
        return *option;
    if (row.type == FieldType::Boolean)
        return value != 0 ? QStringLiteral("ON") : QStringLiteral("OFF");
    return RecordFields::ShowBare(row, value);
}

QString Unit(int field) {
    const std::string_view unit = RecordFields::Row(field).unit;
    return QString::fromLatin1(unit.data(), qsizetype(unit.size()));
}

QString ValueWithUnit(int field, const ConfigRecord& record, Language language) {
    const QString unit = Unit(field);
    const QString value = Value(field, record, language);
    return unit.isEmpty() ? value : value + u' ' + unit;
}

} // namespace FieldTexts
