#include "view3d/texture_file.h"

#include "platform/files/regular_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>

namespace zento {

namespace {

bool accepted_format(const QByteArray& f) {
    for (const char* ok : {"bmp", "png", "jpeg", "jpg", "ppm", "pgm", "pbm", "tga", "dds"})
        if (f == ok) return true;
    return false;
}

} // namespace

std::filesystem::path local_path(const QString& s) {
#ifdef _WIN32
    return std::filesystem::path(s.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(s).toStdString());
#endif
}

QImage read_texture_file(const QString& path, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QImage();
    };
    const FileContent file =
        read_regular_file(local_path(path), std::uint64_t(kMaxTextureFileBytes));
    if (!file.bytes) return fail(QString::fromStdString(file.reason));
    QByteArray bytes = QByteArray::fromStdString(*file.bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (!accepted_format(format))
        return fail(format.isEmpty()
                        ? QStringLiteral("not a picture in a format the window reads (BMP, PNG, "
                                         "JPEG, PPM, TGA, DDS)")
                        : QStringLiteral("a %1 picture: the window reads BMP, PNG, JPEG, PPM, "
                                         "TGA and DDS")
                              .arg(QString::fromLatin1(format.toUpper())));
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(kTextureAllocationLimitMiB);
    const auto too_large = [](QSize s) {
        return s.width() > kMaxTextureSide || s.height() > kMaxTextureSide;
    };
    const auto size_error = [](QSize s) {
        return QStringLiteral("the picture is %1 x %2 pixels, more than %3 a side")
            .arg(s.width())
            .arg(s.height())
            .arg(kMaxTextureSide);
    };
    const QSize size = reader.size(); // from the header alone, before any pixel is decoded
    if (size.isValid() && too_large(size)) return fail(size_error(size));
    const QImage image = reader.read();
    if (image.isNull()) return fail(reader.errorString());
    if (too_large(image.size())) return fail(size_error(image.size()));
    return image;
}

} // namespace zento
