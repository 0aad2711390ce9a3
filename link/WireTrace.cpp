#include "link/WireTrace.h"

#include <QFile>

namespace {

// Control characters shown the way a person types them, so CR, LF and NUL can be told apart.
QString Visible(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        switch (c) {
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\b':
            out += QLatin1String("\\b");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        default:
            if (quint8(c) < 0x20 || quint8(c) >= 0x7f)
                out += QStringLiteral("\\x%1").arg(quint8(c), 2, 16, QLatin1Char('0'));
            else
                out += QLatin1Char(c);
        }
    }
    return out;
}

} // namespace

WireTrace::WireTrace() = default;
WireTrace::~WireTrace() = default;

void WireTrace::Line(const QString& text) {
    if (!sink_)
        return;
    const QString stamp = QStringLiteral("%1 ms  %2  ").arg(clock_.elapsed(), 8).arg(port_);
    sink_->write((stamp + text + u'\n').toUtf8());
    if (auto* file = qobject_cast<QFile*>(sink_.data()))
        file->flush();
}

void WireTrace::Start(QIODevice* out) {
    ownedFile_.reset();
    sink_ = out;
    clock_.start();
}

bool WireTrace::StartFile(const QString& path, QString& error) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("%1: %2").arg(path, file->errorString());
        return false;
    }
    Start(file.get());
    ownedFile_ = std::move(file);
    return true;
}

void WireTrace::Stop() {
    sink_ = nullptr;
    ownedFile_.reset();
}

bool WireTrace::Active() const {
    return !sink_.isNull();
}

void WireTrace::Opened(const QString& device, const QString& settings) {
    port_ = device;
    if (Active())
        Line(QStringLiteral("open %1 %2").arg(device, settings));
}

void WireTrace::Closed() {
    if (Active())
        Line(QStringLiteral("close"));
}

void WireTrace::Sent(const QString& command, int attempt) {
    if (Active())
        Line(QStringLiteral("> %1\\r\\n  (attempt %2)").arg(command).arg(attempt));
}

void WireTrace::NotReady(const QString& command, int attempt) {
    if (Active())
        Line(QStringLiteral("! %1 not sent: CTS not asserted  (attempt %2)")
                 .arg(command)
                 .arg(attempt));
}

void WireTrace::Received(const QByteArray& bytes) {
    if (Active())
        Line(QStringLiteral("< %1").arg(Visible(bytes)));
}

void WireTrace::Taken(const QString& reply, int attempt, bool after) {
    if (Active())
        Line(QStringLiteral("= %1  (reply, attempt %2%3)")
                 .arg(Visible(reply.toLatin1()))
                 .arg(attempt)
                 .arg(after ? QStringLiteral(", taken after a line set aside") : QString()));
}

void WireTrace::TimedOut(const QString& command, int attempt, int ticks) {
    if (Active())
        Line(QStringLiteral("! no reply to %1 within %2 ticks  (attempt %3)")
                 .arg(command)
                 .arg(ticks)
                 .arg(attempt));
}

void WireTrace::Discarded(const QString& line, bool owed, bool matches) {
    if (!Active())
        return;
    if (!owed)
        Line(QStringLiteral("~ line beyond the owed ones: %1  (the replies cannot be told apart)")
                 .arg(Visible(line.toLatin1())));
    else
        Line(QStringLiteral("~ owed line of an attempt that timed out: %1%2")
                 .arg(Visible(line.toLatin1()),
                      matches ? QString() : QStringLiteral("  (differs from the reply taken)")));
}

void WireTrace::SetAside(const QString& line, AsideWhy why) {
    if (!Active())
        return;
    const QString shown = Visible(line.toLatin1());
    switch (why) {
    case AsideWhy::Refusal:
        return Line(QStringLiteral("~ refusal set aside, a number is due: %1  (the command is sent "
                                   "again)")
                        .arg(shown));
    case AsideWhy::Unfit:
        return Line(QStringLiteral("~ set aside, no value of its field: %1").arg(shown));
    case AsideWhy::Echo:
        return Line(QStringLiteral("~ echo of the command set aside: %1").arg(shown));
    case AsideWhy::Overlong:
        return Line(QStringLiteral("~ overlong line set aside, it began: %1").arg(shown));
    case AsideWhy::Noise:
        break;
    }
    Line(QStringLiteral("~ noise set aside, not a reply: %1").arg(shown));
}

void WireTrace::Refusal(const QString& command, const QString& line) {
    if (Active())
        Line(QStringLiteral("! %1 refused by the controller: %2")
                 .arg(command, Visible(line.toLatin1())));
}

void WireTrace::Stray(const QString& line) {
    if (Active())
        Line(QStringLiteral("~ stray line, no command waiting for it: %1")
                 .arg(Visible(line.toLatin1())));
}

void WireTrace::Dropped(const QString& text) {
    if (Active())
        Line(QStringLiteral("~ broken line dropped: %1").arg(Visible(text.toLatin1())));
}

void WireTrace::Draining(int owed, int ticks) {
    if (Active())
        Line(QStringLiteral("# waiting for %1 owed line(s), up to %2 ticks for each")
                 .arg(owed)
                 .arg(ticks));
}

void WireTrace::Drained(bool consistent, int dropped) {
    if (!Active())
        return;
    if (dropped > 0)
        Line(QStringLiteral("# %1 owed line(s) did not come: taken as dropped by the controller, "
                            "the series ends with a quiet wait")
                 .arg(dropped));
    Line(consistent ? QStringLiteral("# drain done: the lines that came agree")
                    : QStringLiteral("# drain done: the lines disagree"));
}

void WireTrace::QuietWait(int ticks, const QString& why) {
    if (Active())
        Line(QStringLiteral("# quiet wait, %1 ticks: %2").arg(ticks).arg(why));
}

void WireTrace::Unquiet(const QString& text, bool partial, const QString& meaning) {
    if (Active())
        Line(QStringLiteral("~ %1 in the quiet wait: %2  (%3)")
                 .arg(partial ? QStringLiteral("part of a line") : QStringLiteral("line"),
                      Visible(text.toLatin1()), meaning));
}

void WireTrace::QuietKept() {
    if (Active())
        Line(QStringLiteral("# quiet wait done: nothing came"));
}

void WireTrace::Note(const QString& text) {
    if (Active())
        Line(QStringLiteral("# ") + text);
}
