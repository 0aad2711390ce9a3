#include "sim/DeviceModel.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

struct ParamInfo {
    const char* code;
    qint64 factory;
    qint64 min;
    qint64 max;
    bool writable; // the controller only reports the others
};

// In controller units. The order is the order of the state text.
constexpr auto kParams = std::to_array<ParamInfo>({
    {"D0", 500, 100, 30000, true}, {"D1", 5000, 100, 30000, true},  {"D2", 200, 0, 1000, true},
    {"O0", 500, 100, 30000, true}, {"O1", 5000, 100, 30000, true},  {"O2", 200, 0, 1000, true},
    {"J0", 500, 100, 30000, true}, {"J1", 500, 100, 30000, true},   {"J2", 0, 0, 1000, true},
    {"EP", 1, 0, 1, true},         {"EA", 0, 0, 1, true},           {"EF", 1, 0, 1, true},
    {"EJ", 1, 0, 1, true},         {"IS", 1, 0, 3, true},           {"IF", 1, 0, 1, true},
    {"MO", 0, 0, 1, true},         {"N", 0, -1000, 16777215, true}, {"ML0", 0, -1, 1, true},
    {"ML1", 0, -1, 1, true},       {"MD", 0, 0, 1, true},           {"MS", 1, 0, 1, true},
    {"CF", 480, 1, 32767, false},  {"CC", 5, 1, 32767, false},      {"CR", 729, 0, 4095, true},
    {"CS", 365, 0, 4095, true},    {"CT", 4, 0, 32767, true},       {"CH", 800, 0, 32767, false},
    {"CL", 100, 0, 32767, false},  {"MT", 0, 0, 1, true},           {"ED", 0, 0, 1, true},
    {"EM", 10, 1, 9999, true},
});

const ParamInfo* FindParam(QStringView code) {
    for (const ParamInfo& info : kParams)
        if (code == QLatin1String(info.code))
            return &info;
    return nullptr;
}

// The speed groups: S may not exceed F.
struct SpeedPair {
    const char* s;
    const char* f;
};
constexpr std::array<SpeedPair, 3> kSpeedPairs{{{"D0", "D1"}, {"O0", "O1"}, {"J0", "J1"}}};

// A whole decimal integer, optionally negative. No digits at all reads as 0: that is how the
// program sends a zero in some settings ("Z:CS" for a stop current of 0).
std::optional<qint64> ParseValue(QStringView text) {
    QStringView digits = text;
    const bool negative = digits.startsWith(u'-');
    if (negative)
        digits = digits.mid(1);
    if (digits.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (negative && digits.isEmpty())
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace

DeviceModel::DeviceModel() {
    ResetToFactory();
    KeepAsStored();
}

void DeviceModel::ResetToFactory() {
    params_.clear();
    for (const ParamInfo& info : kParams)
        params_[QLatin1String(info.code)] = info.factory;
}

void DeviceModel::ResetCounters() {
    commandCount_ = 0;
    silenced_ = false;
    busyGiven_.clear();
    restarted_ = false;
    restartCommandsLeft_ = 0;
}

// Quiet from the restart on, until both its commands and its time have passed; the parameters
// go back when it begins.
bool DeviceModel::Restarting(const QString& command) {
    if (!restarted_ && !faults.restartAt.isEmpty() && command == faults.restartAt) {
        restarted_ = true;
        restartCommandsLeft_ = std::max(1, faults.restartSilentCommands);
        restartClock_.start();
        if (faults.restartToFactory)
            ResetToFactory();
        else
            params_ = stored_;
    }
    if (restartCommandsLeft_ <= 0 &&
        (!restarted_ || restartClock_.elapsed() >= faults.restartSilentMs))
        return false;
    if (restartCommandsLeft_ > 0)
        --restartCommandsLeft_;
    return true;
}

std::optional<qint64> DeviceModel::Parameter(const QString& code) const {
    const auto it = params_.find(code);
    if (it == params_.end())
        return std::nullopt;
    return it->second;
}

bool DeviceModel::SetParameter(const QString& code, qint64 value) {
    const auto it = params_.find(code);
    if (it == params_.end())
        return false;
    it->second = value;
    return true;
}

std::optional<QString> DeviceModel::Respond(const QString& command) {
    if (logLimit != 0)
        log_.append(command);
    // The oldest half goes at once, so that trimming costs little per line.
    if (logLimit > 0 && log_.size() > logLimit)
        log_.remove(0, log_.size() - logLimit / 2);
    ++commandCount_;
    if (onCommand)
        onCommand(command);

    if (!faults.silentAt.isEmpty() && command == faults.silentAt)
        silenced_ = true;
    if (faults.silentAfter >= 0 && commandCount_ > faults.silentAfter)
        silenced_ = true;
    if (silenced_ || Restarting(command))
        return std::nullopt;
    if (faults.busyFirst.contains(command) && !busyGiven_.contains(command)) {
        busyGiven_.insert(command);
        return faults.busyFirst.value(command);
    }

    const auto scripted = faults.replies.constFind(command);
    if (scripted != faults.replies.constEnd())
        return *scripted;
    return OwnReply(command);
}

QString DeviceModel::OwnReply(const QString& command) {
    const QStringView c(command);
    if (c.startsWith(u"?:")) {
        const QStringView code = c.mid(2);
        if (code == u"N")
            return identity.name;
        if (code == u"B")
            return identity.buildDate;
        if (code == u"S")
            return identity.serialNo;
        if (code == u"V")
            return identity.version;
        if (code == u"-")
            return identity.revision;
        return Query(code.toString());
    }
    if (c == u"V:N")
        return Query(QStringLiteral("N"));
    if (c == u"Z:UW") {
        const bool kept = !onPersist || onPersist();
        if (kept)
            KeepAsStored();
        return QLatin1String(kept ? kOk : kRefused);
    }
    if (c.startsWith(u"S:N"))
        return Setting(QStringLiteral("N"), command.mid(3));
    if (c.startsWith(u"Z:")) {
        const QStringView rest = c.mid(2);
        // Sent ahead of the identification; accepted, nothing to keep.
        if (rest == u"IE0" || rest == u"IE1")
            return QLatin1String(kOk);
        const qsizetype codeLength = rest.startsWith(u"ML") ? 3 : 2;
        if (rest.size() < codeLength)
            return QLatin1String(kRefused);
        const QString code = rest.first(codeLength).toString();
        if (code == u"N") // the offset is set with "S:N" only
            return QLatin1String(kRefused);
        return Setting(code, rest.mid(codeLength).toString());
    }
    return QLatin1String(kRefused);
}

QString DeviceModel::Query(const QString& code) const {
    const std::optional<qint64> value = Parameter(code);
    return value ? QString::number(*value) : QLatin1String(kRefused);
}

QString DeviceModel::Setting(const QString& code, const QString& valueText) {
    const ParamInfo* info = FindParam(code);
    if (!info || !info->writable)
        return QLatin1String(kRefused);
    const std::optional<qint64> value = ParseValue(valueText);
    if (!value || !Accepts(code, *value))
        return QLatin1String(kRefused);
    if (!faults.ignoredSettings.contains(code))
        params_[code] = *value;
    return QLatin1String(kOk);
}

bool DeviceModel::Accepts(const QString& code, qint64 value) const {
    const ParamInfo* info = FindParam(code);
    if (!info || value < info->min || value > info->max)
        return false;
    for (const SpeedPair& pair : kSpeedPairs) {
        if (code == QLatin1String(pair.s))
            return value <= params_.at(QLatin1String(pair.f));
        if (code == QLatin1String(pair.f))
            return value >= params_.at(QLatin1String(pair.s));
    }
    if (code == u"CR")
        return value >= params_.at(QStringLiteral("CS"));
    if (code == u"CS")
        return value <= params_.at(QStringLiteral("CR"));
    return true;
}

QByteArray DeviceModel::StateText() const {
    QByteArray text;
    for (const ParamInfo& info : kParams) {
        text += info.code;
        text += '=';
        text += QByteArray::number(params_.at(QLatin1String(info.code)));
        text += '\n';
    }
    return text;
}

bool DeviceModel::LoadStateText(const QByteArray& text, QString* error) {
    const auto fail = [error](int lineNumber, const QString& why) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
        return false;
    };
    std::map<QString, qint64> loaded = params_;
    int lineNumber = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return fail(lineNumber, QStringLiteral("expected CODE=VALUE"));
        const QString code = line.left(eq).trimmed();
        const ParamInfo* info = FindParam(code);
        if (!info)
            return fail(lineNumber, QStringLiteral("unknown code %1").arg(code));
        const QString valueText = line.mid(eq + 1).trimmed();
        const std::optional<qint64> value =
            valueText.isEmpty() ? std::nullopt : ParseValue(valueText);
        if (!value || *value < info->min || *value > info->max)
            return fail(lineNumber, QStringLiteral("bad value for %1").arg(code));
        loaded[code] = *value;
    }
    params_ = std::move(loaded);
    KeepAsStored();
    return true;
}

} // namespace sim
