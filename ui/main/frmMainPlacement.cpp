#include "ui/main/frmMain.h"

#include "platform/SettingsStore.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

// Where the window sits: its place and size, restored from the per-user settings store at start
// and kept there, in twips, at the end.

namespace {
struct PlacementKey {
    const char* key;
    double defaultTwips;
};
constexpr PlacementKey kLeft{"MainLeft", 105};
constexpr PlacementKey kTop{"MainTop", 105};
constexpr PlacementKey kWidth{"MainWidth", 10350};
constexpr PlacementKey kHeight{"MainHeight", 8010};
// Far beyond any screen; larger stored values are taken as damaged.
constexpr double kPlacementLimitTwips = 1.0e7;

double ReadPlacement(const PlacementKey& entry) {
    const QString text = platform::GetSetting(
        QLatin1String(platform::kSettingsApp), QLatin1String(MainModule::kSettingsSection),
        QLatin1String(entry.key), Numbers::ShowNumber(qint64(entry.defaultTwips)));
    const std::optional<double> value = Numbers::ParseEntry(text);
    if (!value)
        return entry.defaultTwips;
    const float single = static_cast<float>(*value);
    if (!std::isfinite(single) || std::fabs(single) > kPlacementLimitTwips)
        return entry.defaultTwips;
    return single;
}

// A stored placement the screens can show: no larger than the available area, and on a
// screen (a monitor unplugged since, or a damaged settings file, must not lose the window).
QRect FitOnScreen(QRect outer) {
    if (outer.width() <= 0 || outer.height() <= 0)
        outer.setSize(
            QSize(Twips::ToPixels(kWidth.defaultTwips), Twips::ToPixels(kHeight.defaultTwips)));
    QScreen* screen = QGuiApplication::primaryScreen();
    for (QScreen* candidate : QGuiApplication::screens())
        if (candidate->availableGeometry().intersects(outer))
            screen = candidate;
    if (!screen)
        return outer;
    const QRect available = screen->availableGeometry();
    outer.setSize(outer.size().boundedTo(available.size()));
    if (!available.intersects(outer))
        outer.moveTopLeft(available.topLeft());
    return outer;
}

void SavePlacementValue(const PlacementKey& entry, int pixels) {
    platform::SaveSetting(QLatin1String(platform::kSettingsApp),
                          QLatin1String(MainModule::kSettingsSection), QLatin1String(entry.key),
                          Numbers::ShowNumber(Twips::FromPixels(pixels)));
}

} // namespace

void frmMain::RestorePlacement() {
    const QRect stored(Twips::ToPixels(ReadPlacement(kLeft)), Twips::ToPixels(ReadPlacement(kTop)),
                       Twips::ToPixels(ReadPlacement(kWidth)),
                       Twips::ToPixels(ReadPlacement(kHeight)));
    const QRect placed = FitOnScreen(stored);
    move(placed.topLeft());
    // The stored size is the outer one; the frame is only known once the window is shown.
    const QSize outer = placed.size();
    const QSize frame = frameGeometry().size() - size();
    resize(outer - frame);
    pendingOuterSize_ = frame.isNull() ? outer : QSize();
}

void frmMain::ApplyPendingOuterSize() {
    if (!pendingOuterSize_.isValid() || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    const QSize outer = pendingOuterSize_;
    pendingOuterSize_ = QSize();
    resize(outer - frame);
}

void frmMain::SavePlacement() {
    if (isMinimized())
        return;
    const QRect outer = frameGeometry();
    SavePlacementValue(kLeft, outer.x());
    SavePlacementValue(kTop, outer.y());
    SavePlacementValue(kWidth, outer.width());
    SavePlacementValue(kHeight, outer.height());
}
