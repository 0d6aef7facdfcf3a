// The picture loaders of the frame window: a BMP file taken as it is, a JPEG
// file through the baseline decoder turned as its EXIF orientation says,
// each shown at its size or shrunk to fit (ShowLoadedPhoto), and the
// display bitmap built from the decoder's colour planes.
#include <cstdint>
#include <limits>
#include <new>

#include "BmpCheck.h"
#include "DisplayBitmap.h"
#include "ExifOrientation.h"
#include "JpegDecoder.h"
#include "MIRAVELDlg.h"
#include "PhotoSource.h"

namespace {

const wchar_t kFileMissing[] = L"ﾌｧｲﾙがありません。";
const wchar_t kFileTooLarge[] = L"ファイルが大きすぎます";
const wchar_t kNotDib[] = L"DIBファイルではありません";
const wchar_t kJpegFailed[] = L"JGEPﾃﾞｰﾀのﾍｯﾀﾞ解析に失敗しました。";

// Reads up to size bytes, stopping early only at the end of the file.
// Returns the count read; a read error is thrown by CFile.
std::size_t ReadAll(CFile& file, uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t chunk = size - done < (1u << 30) ? size - done : (1u << 30);
    const UINT read = file.Read(buffer + done, static_cast<UINT>(chunk));
    if (read == 0) break;
    done += read;
  }
  return done;
}

}  // namespace

// A photo is opened for reading, sharing reading and writing with others:
// a viewer, an editor, an indexer or a virus scanner may hold it open.
// Only a file that is absent, or that its holder shares with nobody,
// cannot be opened.
constexpr UINT kPhotoOpenFlags = CFile::modeRead | CFile::shareDenyNone;

int CMIRAVELDlg::LoadBmpFile(const std::wstring& path) {
  CFile file;
  if (!file.Open(path.c_str(), kPhotoOpenFlags)) {
    AfxMessageBox(kFileMissing);
    return 0;
  }
  const ULONGLONG length = file.GetLength();

  std::unique_ptr<DisplayBitmapBlock> block;
  try {
    if (length > DisplayBitmapBlock().max_size()) throw std::bad_alloc();
    block = std::make_unique<DisplayBitmapBlock>(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    AfxMessageBox(kFileTooLarge);
    return 0;
  }

  // Besides the "BM" at its start, the file's headers must describe pixels
  // that lie inside it in a form that is drawn as it is; anything else would
  // make the painter read outside the block.
  const std::size_t read = ReadAll(file, block->data(), block->size());
  if (read < block->size() || !miravel::IsDrawableBmpImage(block->data(), block->size())) {
    AfxMessageBox(kNotDib);
    return 0;
  }
  file.Close();
  // Shown as it is, or shrunk to fit (the file's bytes then kept aside).
  if (!ShowLoadedPhoto(PhotoSource::FromBitmap(std::move(block)))) {
    AfxMessageBox(kFileTooLarge);
    return 0;
  }
  return 1;
}

int CMIRAVELDlg::LoadJpegFile(const std::wstring& path) {
  CFile file;
  if (!file.Open(path.c_str(), kPhotoOpenFlags)) {
    AfxMessageBox(kFileMissing);
    return 0;
  }
  const ULONGLONG length = file.GetLength();
  // The decoder takes a 32-bit length.
  if (length > static_cast<ULONGLONG>(std::numeric_limits<int32_t>::max())) {
    AfxMessageBox(kFileTooLarge);
    return 0;
  }
  // No memory for the file's bytes leaves the loader as std::bad_alloc.
  std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
  // The count read is not compared: a short read leaves zero bytes at the
  // end, which the decoder meets as damaged data.
  ReadAll(file, bytes.data(), bytes.size());

  auto decoder = std::make_unique<JpegDecoder>();
  if (decoder->AnalysisHeader(bytes.data(), static_cast<int32_t>(length)) < 0 || decoder->DecodeImage() < 0) {
    AfxMessageBox(kJpegFailed);
    return 0;
  }
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  decoder->GetImage(&red, &green, &blue, &width, &height);
  // A picture with no pixels is no photo, not a large one.
  if (width <= 0 || height <= 0) {
    AfxMessageBox(kJpegFailed);
    return 0;
  }
  // Shown turned as its EXIF orientation says, at its size or shrunk to
  // fit (the decoder's planes then kept aside); a picture larger than any
  // bitmap of ours while shrinking is off is too large.
  const int orientation = miravel::ReadExifOrientation(bytes.data(), bytes.size());
  if (!ShowLoadedPhoto(PhotoSource::FromPlanes(std::move(decoder), orientation))) {
    AfxMessageBox(kFileTooLarge);
    return 0;
  }
  return 1;
}

bool CMIRAVELDlg::BuildDisplayBitmap(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                                     int32_t width, int32_t height) {
  DisplayBitmapBlock image = miravel::BuildDisplayBitmapImage(red, green, blue, width, height);
  if (image.empty()) return false;
  m_pDisplayBitmap = std::make_unique<DisplayBitmapBlock>(std::move(image));
  return true;
}
