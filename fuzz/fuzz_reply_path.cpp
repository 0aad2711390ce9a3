// The reply path: a scripted serial line answers identification, load and store with replies
// the input chooses (right, split, junk, oversize, with NUL bytes, late, none, or the device
// vanishing). Time is virtual: the target steps the ticks by hand, every pass of the event loop
// one tick of the line and of the link, so a time-out costs no wall time.
//
// Properties: identification succeeds only with a name beginning "QMX001" and a version of at
// least 1.1 on the line as whole lines; a store succeeds only when every setting was answered
// with a whole line "OK"; each successful series sent its commands in order, at most five
// attempts each, then at most the readings again that trouble calls for (identification and
// load up to three in all, a store's one read-back); a failure always tells the operator;
// nothing crashes and nothing hangs.

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "platform/SerialControl.h"
#include "shell/MainModule.h"
#include "tests/support/Protocol.h"

#include <QCoreApplication>
#include <QObject>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_reply_path: %s\n", what);
    std::abort();
}

// Far beyond the ticks of the longest series (73 commands, five attempts of about 12 ticks).
constexpr qint64 kTickLimit = 20000;
constexpr size_t kOversizeMax = 20000;
constexpr qsizetype kPiecesMax = 32;

// A reply that the link accepts for each command.
QByteArray RightReply(const QByteArray& command) {
    if (command.startsWith("Z:") || command.startsWith("S:"))
        return "OK";
    if (command == "?:N")
        return "QMX001";
    if (command == "?:V")
        return "1.23";
    if (command == "?:CF")
        return "480";
    if (command == "?:CC")
        return "5";
    if (command == "?:B" || command == "?:S" || command == "?:-")
        return "A1";
    return "500";
}

struct Delivery {
    qint64 tick;
    QByteArray bytes;
};

// One command written and every read of the line until the next command.
struct Exchange {
    QByteArray command;
    std::vector<QByteArray> reads;
};

class ScriptedLine : public platform::SerialControl {
public:
    explicit ScriptedLine(FuzzedDataProvider& input) : input_(input) {}

    bool Open(const QString&, const QString&) override {
        open_ = !vanished_;
        return open_;
    }
    void Close() override {
        open_ = false;
        inbox_.clear();
    }
    bool IsOpen() const override { return open_; }
    void SetRts(bool) override {}
    void SetDtr(bool) override {}
    bool CtsHolding() override { return open_; }
    bool Write(const QByteArray& data) override;
    QByteArray ReadAll() override;
    QString ErrorText() const override { return QStringLiteral("scripted line"); }

    void Tick();
    const std::vector<Exchange>& Exchanges() const { return exchanges_; }

private:
    void PlanReply(const QByteArray& command);
    void Deliver(qint64 delay, const QByteArray& bytes) { due_.push_back({tick_ + delay, bytes}); }
    void DeliverSplit(const QByteArray& bytes);

    FuzzedDataProvider& input_;
    bool open_ = false;
    bool vanished_ = false;
    qint64 tick_ = 0;
    qint64 vanishAt_ = -1;
    QByteArray inbox_;
    std::vector<Delivery> due_;
    std::vector<Exchange> exchanges_;
};

bool ScriptedLine::Write(const QByteArray& data) {
    if (!open_)
        return false;
    QByteArray command = data;
    if (command.endsWith("\r\n"))
        command.chop(2);
    exchanges_.push_back({command, {}});
    PlanReply(command);
    return true;
}

QByteArray ScriptedLine::ReadAll() {
    if (!open_ || inbox_.isEmpty())
        return {};
    if (!exchanges_.empty())
        exchanges_.back().reads.push_back(inbox_);
    return std::exchange(inbox_, {});
}

void ScriptedLine::PlanReply(const QByteArray& command) {
    const QByteArray right = RightReply(command) + "\r\n";
    switch (input_.ConsumeIntegralInRange<int>(0, 8)) {
    case 0: // right, at once
        return Deliver(1, right);
    case 1:
        return DeliverSplit(right);
    case 2: { // any bytes, split anyhow
        const std::string junk = input_.ConsumeRandomLengthString(64);
        return DeliverSplit(QByteArray(junk.data(), qsizetype(junk.size())));
    }
    case 3: { // an endless line, then its end
        const size_t n = input_.ConsumeIntegralInRange<size_t>(64, kOversizeMax);
        return DeliverSplit(QByteArray(qsizetype(n), input_.ConsumeIntegral<char>()) + "\r\n");
    }
    case 4: { // NUL bytes inside the right reply
        QByteArray bytes = right;
        bytes.insert(input_.ConsumeIntegralInRange<qsizetype>(0, bytes.size()), '\0');
        return Deliver(1, bytes);
    }
    case 5: // none
        return;
    case 6: // late: up to three time-outs later
        return Deliver(input_.ConsumeIntegralInRange<qint64>(5, 35), right);
    case 7: { // chosen text between the line ends
        const std::string text = input_.ConsumeRandomLengthString(32);
        return Deliver(1, QByteArray(text.data(), qsizetype(text.size())) + "\r\n");
    }
    default: // the device goes away, perhaps after part of the reply
        vanishAt_ = tick_ + input_.ConsumeIntegralInRange<qint64>(0, 12);
        return Deliver(1, right.first(input_.ConsumeIntegralInRange<qsizetype>(0, 3)));
    }
}

// Pieces of random length at random later ticks; the last piece takes the rest, so that the
// work per input stays bounded.
void ScriptedLine::DeliverSplit(const QByteArray& bytes) {
    qint64 delay = 1;
    for (qsizetype at = 0, pieces = 1; at < bytes.size(); ++pieces) {
        const bool last = pieces == kPiecesMax || input_.remaining_bytes() == 0;
        const qsizetype n = last ? bytes.size() - at
                                 : input_.ConsumeIntegralInRange<qsizetype>(1, bytes.size() - at);
        Deliver(delay, bytes.mid(at, n));
        delay += input_.ConsumeIntegralInRange<qint64>(0, 4);
        at += n;
    }
}

void ScriptedLine::Tick() {
    if (++tick_ > kTickLimit)
        Fail("the link is still waiting after far more ticks than any series needs");
    if (open_ && tick_ == vanishAt_) {
        Close();
        vanished_ = true;
        due_.clear();
        emit Lost();
        return;
    }
    bool arrived = false;
    for (auto it = due_.begin(); it != due_.end();) {
        if (it->tick > tick_) {
            ++it;
            continue;
        }
        if (open_) {
            inbox_ += it->bytes;
            arrived = true;
        }
        it = due_.erase(it);
    }
    // Like a port's, the receive event comes from the event loop, not from inside this tick.
    if (arrived)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (open_)
                    emit Received();
            },
            Qt::QueuedConnection);
}

// The lines the link can have taken as the reply to the last run of sendings of the command:
// in what the line brought since the run began, with blanks and backspaces left out, each text
// between two LFs whose CRs are odd in number (two CRs cancel), without its CRs.
QList<QByteArray> PossibleReplies(const std::vector<Exchange>& exchanges,
                                  const QByteArray& command) {
    auto last = std::find_if(exchanges.rbegin(), exchanges.rend(),
                             [&](const Exchange& e) { return e.command == command; });
    if (last == exchanges.rend())
        Fail("a series succeeded without sending one of its commands");
    auto first = last;
    while (std::next(first) != exchanges.rend() && std::next(first)->command == command)
        ++first;
    QByteArray kept;
    for (auto e = first.base() - 1; e != last.base(); ++e)
        for (const QByteArray& read : e->reads)
            for (const char c : read)
                if (c != ' ' && c != '\b')
                    kept += c;
    QList<QByteArray> replies;
    for (const QByteArray& segment : kept.split('\n'))
        if (segment.count('\r') % 2 == 1)
            replies.append(QByteArray(segment).replace("\r", ""));
    return replies;
}

// A command sent some times in a row: one attempt or more of one step or more.
struct Run {
    QByteArray command;
    int times;
};

std::vector<Run> Runs(const QList<QByteArray>& commands) {
    std::vector<Run> runs;
    for (const QByteArray& command : commands)
        if (!runs.empty() && runs.back().command == command)
            ++runs.back().times;
        else
            runs.push_back({command, 1});
    return runs;
}

// One reading of `expected` from runs[at] on, each step one to five attempts; a step repeated
// in a row (the serial number) may be asked once more. Returns where the reading ends.
size_t CheckReading(const std::vector<Run>& runs, size_t at, const QStringList& expected) {
    QList<QByteArray> commands;
    for (const QString& command : expected)
        commands.append(command.toLatin1());
    for (const Run& step : Runs(commands)) {
        const int steps = step.times + (step.times > 1 ? 1 : 0);
        if (at == runs.size() || runs[at].command != step.command || runs[at].times < step.times ||
            runs[at].times > steps * ComSupport::kAttempts)
            Fail("a successful series skipped, reordered or over-repeated a command");
        ++at;
    }
    return at;
}

// The exchanges from `first` on: one reading of `expected`, then up to `again` readings of
// `repeated` (a series reads again after trouble) and nothing else.
void CheckSeries(const std::vector<Exchange>& exchanges, size_t first, const QStringList& expected,
                 const QStringList& repeated = {}, int again = 0) {
    QList<QByteArray> sent;
    for (size_t at = first; at < exchanges.size(); ++at)
        sent.append(exchanges[at].command);
    const std::vector<Run> runs = Runs(sent);
    size_t at = CheckReading(runs, 0, expected);
    for (int reading = 0; reading < again && at < runs.size(); ++reading)
        at = CheckReading(runs, at, repeated);
    if (at != runs.size())
        Fail("a successful series sent more than its commands");
}

// The version the program shows for a reply: its longest tail of digits with at most one
// point, written here apart from the program's reader.
QByteArray VersionOf(const QByteArray& reply) {
    qsizetype start = reply.size();
    for (bool point = false; start > 0; --start) {
        const char c = reply.at(start - 1);
        if (c == '.' && !point)
            point = true;
        else if (c < '0' || c > '9')
            break;
    }
    return reply.mid(start);
}

// The leading decimal number of the text (sign, digits, fraction), read independently of the
// program's reader; 0 when there is none.
double LeadingNumber(QByteArray text) {
    if (text.startsWith('+'))
        text.remove(0, 1);
    double value = 0.0;
    std::from_chars(text.constData(), text.constData() + text.size(), value,
                    std::chars_format::fixed);
    return value;
}

// ---- One small function per step of the link, so that API changes stay local. ----------------

bool OpenLink(ComSupport& link, ScriptedLine& line) {
    link.SetSerialControl(&line);
    link.ComInit(1, 1);
    return bool(link.ComOpen());
}

// Runs the series to its end, each pass of the event loop one tick of the line and of the link
// (the line stops a series that would wait for ever); a failure must say what to tell the
// operator.
bool RunStep(Series* series, ComSupport& link, ScriptedLine& line) {
    std::optional<Result> result;
    QObject::connect(series, &Series::Finished, [&result](const Result& r) { result = r; });
    while (!result) {
        QCoreApplication::processEvents();
        line.Tick();
        link.ComTick();
    }
    if (!*result && (!result->failure() || result->failure()->text.isEmpty()))
        Fail("a series failed without a word for the operator");
    return bool(*result);
}

void CheckConnected(const std::vector<Exchange>& exchanges, size_t first, const ControllerInfo& s) {
    CheckSeries(exchanges, first, testing::kIdentifyCommands, testing::kIdentifyCommands.mid(1),
                Series::kReadings - 1);
    const QByteArray name = s.ControllerName.toLatin1();
    if (!name.startsWith("QMX001") || !PossibleReplies(exchanges, "?:N").contains(name))
        Fail("connected without a name beginning QMX001 on the line");
    const QByteArray version = s.ControllerVersionText.toLatin1();
    const QList<QByteArray> versions = PossibleReplies(exchanges, "?:V");
    const bool onLine = std::any_of(versions.begin(), versions.end(),
                                    [&](const QByteArray& v) { return VersionOf(v) == version; });
    if (!onLine || LeadingNumber(version) < 1.1)
        Fail("connected without a version of at least 1.1 on the line");
}

void CheckStored(const std::vector<Exchange>& exchanges, size_t first,
                 const QStringList& commands) {
    CheckSeries(exchanges, first, commands, testing::kReadBackQueries, 1);
    for (const QString& command : commands)
        if (!PossibleReplies(exchanges, command.toLatin1()).contains("OK"))
            Fail("stored although a setting was not answered OK");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Program program;
    MainModule::InitProgram(program, QStringLiteral("/L:E"));
    ScriptedLine line(input);
    ComSupport link(program.Lang());
    QObject series; // owns the series: none outlives its input
    if (!OpenLink(link, line))
        Fail("the scripted line did not open");

    size_t first = line.Exchanges().size();
    if (RunStep(QMXModule::ConnectController(link, program.State, &series), link, line))
        CheckConnected(line.Exchanges(), first, program.State);
    first = line.Exchanges().size();
    if (RunStep(QMXModule::LoadConfigFromController(link, program.Config, &series), link, line))
        CheckSeries(line.Exchanges(), first, testing::kLoadQueries, testing::kLoadQueries,
                    Series::kReadings - 1);
    const std::optional<QStringList> commands = QMXModule::StoreCommands(program.Config);
    first = line.Exchanges().size();
    if (RunStep(QMXModule::StoreConfigToController(link, program.Config, &series), link, line) &&
        commands)
        CheckStored(line.Exchanges(), first, *commands);

    link.ComClose();
    return 0;
}
