// The icon resource, the pictures the Linux desktop and the window show, and the version block.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "quorvel/Version.h"

namespace {

const QString kIconDir = QStringLiteral(QUORVEL_SOURCE_DIR "/res/icons");
const int kPngSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString PngPath(int size) { return QStringLiteral("icons/hicolor/%1x%1/apps/quorvel.png").arg(size); }

int OpaquePixels(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  int opaque = 0;
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x) opaque += qAlpha(argb.pixel(x, y)) >= 128 ? 1 : 0;
  return opaque;
}

std::uint32_t Le(const QByteArray& data, qsizetype at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(data.at(at + i));
  return value;
}

// The icon directory as written: three images, their sizes and colour depths, each header
// agreeing with its directory entry.
TEST(AppIcon, IconResourceHoldsTheThreeImages) {
  QFile file(kIconDir + "/quorvel.ico");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray ico = file.readAll();
  ASSERT_GE(ico.size(), 6 + 3 * 16);
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u);  // an icon, not a cursor
  ASSERT_EQ(Le(ico, 4, 2), 3u);

  struct Row {
    std::uint32_t size, colourCount, bits;
  };
  const Row rows[] = {{32, 16, 4}, {32, 0, 8}, {48, 0, 8}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    const qsizetype entry = 6 + 16 * i;
    EXPECT_EQ(Le(ico, entry + 0, 1), rows[i].size);
    EXPECT_EQ(Le(ico, entry + 1, 1), rows[i].size);
    EXPECT_EQ(Le(ico, entry + 2, 1), rows[i].colourCount);
    EXPECT_EQ(Le(ico, entry + 6, 2), rows[i].bits);
    const std::uint32_t length = Le(ico, entry + 8, 4);
    const std::uint32_t offset = Le(ico, entry + 12, 4);
    ASSERT_LE(static_cast<qsizetype>(offset) + length, ico.size());
    EXPECT_EQ(Le(ico, offset, 4), 40u);                  // BITMAPINFOHEADER
    EXPECT_EQ(Le(ico, offset + 8, 4), 2 * rows[i].size);  // colour bitmap and mask
    EXPECT_EQ(Le(ico, offset + 14, 2), rows[i].bits);
  }
}

// Decoded as a desktop decodes it: the first and third images show nothing at all, the second
// is the picture, with the same shape as the 32-pixel PNG.
TEST(AppIcon, OnlyTheSecondImageCarriesThePicture) {
  QImageReader reader(kIconDir + "/quorvel.ico", "ico");
  ASSERT_EQ(reader.imageCount(), 3);
  std::vector<QImage> images;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(reader.jumpToImage(i));
    images.push_back(reader.read());
    ASSERT_FALSE(images.back().isNull()) << reader.errorString().toStdString();
  }
  EXPECT_EQ(OpaquePixels(images[0]), 0);
  EXPECT_EQ(OpaquePixels(images[2]), 0);

  const QImage png = QImage(kIconDir + "/hicolor/32x32/apps/quorvel.png").convertToFormat(QImage::Format_ARGB32);
  const QImage picture = images[1].convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(picture.size(), png.size());
  EXPECT_GT(OpaquePixels(picture), 32 * 32 / 2);
  int shapeDifferences = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      shapeDifferences += (qAlpha(picture.pixel(x, y)) >= 128) != (qAlpha(png.pixel(x, y)) >= 128) ? 1 : 0;
  EXPECT_EQ(shapeDifferences, 0);
}

// Every installed size and the window icon show the picture, with transparent corners, and the
// window icon is the very file the desktop gets.
TEST(AppIcon, PicturesAtEverySizeReachTheProgramAsResources) {
  for (const int size : kPngSizes) {
    SCOPED_TRACE(size);
    const QImage onDisk(kIconDir + "/" + PngPath(size).mid(6));
    ASSERT_FALSE(onDisk.isNull());
    EXPECT_EQ(onDisk.size(), QSize(size, size));
    EXPECT_TRUE(onDisk.hasAlphaChannel());
    EXPECT_GT(OpaquePixels(onDisk), size * size / 2);
    EXPECT_EQ(qAlpha(onDisk.pixel(0, 0)), 0);

    const QImage resource(":/" + PngPath(size));
    ASSERT_FALSE(resource.isNull()) << "the resource is not linked into the program";
    EXPECT_EQ(resource, onDisk);
  }
}

TEST(VersionBlock, FieldsFollowTheProjectVersion) {
  EXPECT_STREQ(quorvel::version::kVersionText, "1.2.0.0");
  EXPECT_STREQ(quorvel::version::kFileVersion, "1, 2, 0, 0");
  EXPECT_STREQ(quorvel::version::kProductVersion, "1, 2, 0, 0");
  EXPECT_STREQ(quorvel::version::kAboutText, "Quorvel v1.02");
}

}  // namespace
