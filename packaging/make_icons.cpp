// qmx-make-icons: renders the program icon as PNG files for the hicolor icon theme.
//   qmx-make-icons OUTDIR SIZE...   writes OUTDIR/<SIZE>x<SIZE>/apps/qmxconfig.png for each SIZE

#include "ui/about/ProgramIcon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>

namespace {

bool WriteIcon(const QString& outDir, int size) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "qmx-make-icons: cannot create %s\n", qPrintable(dir));
        return false;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        DrawProgramIcon(painter, size);
    }
    const QString path = dir + QStringLiteral("/qmxconfig.png");
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "qmx-make-icons: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qmx-make-icons OUTDIR SIZE...\n");
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "qmx-make-icons: bad size %s (1 to 1024)\n", argv[i]);
            return 1;
        }
        if (!WriteIcon(outDir, size))
            return 1;
    }
    return 0;
}
