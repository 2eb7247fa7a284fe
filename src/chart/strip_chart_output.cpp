// The strip chart on paper and in files: printing, the print preview, "Save image".
#include "chart/strip_chart.h"

#include "chart/live_plot.h"

#include <QFileDialog>
#include <QImageWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>

namespace zento {

namespace {
const char* const kTitle = "Quorvex"; // chart title (not drawn) and print document name
} // namespace

bool StripChart::printTo(QPrinter* printer) {
    QCPPainter painter;
    if (!printer || !painter.begin(printer)) {
        emit message(tr("The chart could not be printed: the printer is not ready."));
        return false;
    }
    updateView();
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const int w = plot_->width();
    const int h = plot_->height();
    const double scale = std::min(double(page.width()) / w, double(page.height()) / h);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    plot_->toPainter(&painter, w, h);
    painter.end();
    return true;
}

QPrintPreviewDialog* StripChart::openPrintPreview() {
    auto* dialog = new QPrintPreviewDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->printer()->setDocName(QLatin1String(kTitle));
    dialog->printer()->setPageOrientation(QPageLayout::Landscape);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { printTo(printer); });
    dialog->open();
    return dialog;
}

bool StripChart::saveImage(const QString& path) {
    if (path.isEmpty()) {
        emit message(tr("The chart image was not saved: no file name was given."));
        return false;
    }
    updateView();
    // Written to a temporary file and renamed over the target only when complete, so a failed
    // save never damages an existing file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit message(
            tr("The chart image could not be saved to %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QImage image = plot_->toPixmap(plot_->width(), plot_->height()).toImage();
    QImageWriter writer(&file, "png");
    if (image.isNull() || !writer.write(image) || !file.commit()) {
        file.cancelWriting();
        emit message(tr("The chart image could not be saved to %1: %2")
                         .arg(path, writer.error() != QImageWriter::UnknownError
                                        ? writer.errorString()
                                        : file.errorString()));
        return false;
    }
    return true;
}

void StripChart::askImagePath() {
    const QString file =
        suggest_image_file ? suggest_image_file() : QLatin1String(kTitle) + QStringLiteral(".png");
    auto* dialog = new QFileDialog(this, tr("Save image"), file, tr("PNG image (*.png)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& f) { saveImage(f); });
    dialog->open();
}

} // namespace zento
