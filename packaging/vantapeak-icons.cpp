// vantapeak-icons OUTDIR: a build step. Writes the application icon as
// OUTDIR/<n>x<n>/apps/vantapeak.png in the hicolor theme's sizes, drawn by
// the same code as the program's window icon. Needs no display: it runs on
// Qt's offscreen platform.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "app/AppIcon.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Uso: vantapeak-icons CARPETA\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = dir + QStringLiteral("/vantapeak.png");
        if (!QDir().mkpath(dir) || !DrawAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "vantapeak-icons: no se pudo escribir %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
