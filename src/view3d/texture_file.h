#pragma once
// Reading a texture picture that the model file names. The picture is input like the model:
// only a regular file is read (never a FIFO or a device), at most kMaxTextureFileBytes of it, in
// a picture format recognised from its content (BMP, PNG, JPEG, PPM/PGM/PBM, TGA, DDS), at most
// kMaxTextureSide pixels a side, decoded under QImageReader's allocation limit. Anything else is
// an error with a reason; nothing is decoded from a file that fails the checks.
#include <QImage>
#include <QString>

#include <filesystem>

namespace zento {

inline constexpr qint64 kMaxTextureFileBytes = qint64(64) << 20;
inline constexpr int kMaxTextureSide = 4096;
inline constexpr int kTextureAllocationLimitMiB = 64; // a 4096 x 4096 picture of 32-bit pixels

// A path of the program's as the file system takes it.
std::filesystem::path local_path(const QString& path);

// The picture at `path`; a null image and `error` set (the reason, without the path) when it
// cannot be used.
QImage read_texture_file(const QString& path, QString* error);

} // namespace zento
