// Builds the PDF manual from the html manual at build time, with Qt's own
// rich-text layout, so that the two never differ and no converter is needed.
//
//   kuv-manual-pdf INPUT.html OUTPUT.pdf
#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT.html OUTPUT.pdf\n", argv[0]);
        return 2;
    }
    // Fonts need a GUI application; nothing is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(input.readAll()));

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
    writer.setCreator(QStringLiteral("KUV"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
    document.print(&writer);

    // QPdfWriter reports no error of its own: an empty or missing file is one.
    QFile output(QString::fromLocal8Bit(argv[2]));
    if (!output.open(QIODevice::ReadOnly) || output.size() == 0
        || !output.read(5).startsWith("%PDF-")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
