// libjpeg-turbo for the tests: decoding to RGB, encoding a crop of a picture,
// and lossless transcoding into other scan structures, as jpegtran does
// (-progressive, -scans, -restart): the coefficients stay exactly as they
// are, only the way the scans carry them changes.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace libjpegtest {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  int width = 0, height = 0;
  Bytes pixels;  // interleaved, rows top-down
};

struct Error {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

inline void ErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<Error*>(info->err)->jump, 1); }

// Decodes to RGB; false if libjpeg-turbo fails. likeOurs: the float inverse
// DCT, replication instead of fancy upsampling, and the coefficients of a
// progressive picture as they are (no smoothing of blocks whose scans are
// missing): the closest libjpeg-turbo comes to our decoder's arithmetic.
inline bool Decode(const Bytes& bytes, Rgb* out, bool likeOurs) {
  jpeg_decompress_struct info;
  Error error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (likeOurs) {
    info.dct_method = JDCT_FLOAT;
    info.do_fancy_upsampling = FALSE;
    info.do_block_smoothing = FALSE;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  out->pixels.assign(static_cast<size_t>(out->width) * out->height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->pixels.data() + static_cast<size_t>(info.output_scanline) * out->width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

struct EncodeSettings {
  int quality;
  int h, v;  // luminance sampling factors; chroma 1x1
  bool grey;
  int restartInterval;  // MCUs
  bool optimize;
};

// A baseline JPEG of the given crop of rgb.
inline Bytes Encode(const Rgb& rgb, int x0, int y0, int width, int height, const EncodeSettings& s) {
  jpeg_compress_struct info;
  Error error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return Bytes{};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  if (s.grey) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  jpeg_set_quality(&info, s.quality, TRUE);
  info.comp_info[0].h_samp_factor = s.h;
  info.comp_info[0].v_samp_factor = s.v;
  info.restart_interval = static_cast<unsigned>(s.restartInterval);
  info.optimize_coding = s.optimize ? TRUE : FALSE;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint8_t* row = rgb.pixels.data() + (static_cast<size_t>(y0 + info.next_scanline) * rgb.width + x0) * 3;
    JSAMPROW rows[1] = {const_cast<uint8_t*>(row)};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// One scan of a scan script: components by their index in the frame, the
// band Ss to Se, successive approximation Ah and Al.
struct Scan {
  std::vector<int> components;
  int ss, se, ah, al;
};

// The coefficients of jpeg in other scans: the script given (empty: one
// sequential scan, libjpeg's default), or libjpeg's default progression
// (progressive true, script empty); a restart interval in MCUs (0: none).
// Empty if libjpeg-turbo refuses.
inline Bytes Transcode(const Bytes& jpeg, const std::vector<Scan>& script, bool progressive, int restartInterval) {
  jpeg_decompress_struct in;
  jpeg_compress_struct out;
  Error error;
  in.err = jpeg_std_error(&error.manager);
  out.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<jpeg_scan_info> scans;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    std::free(buffer);
    return Bytes{};
  }
  jpeg_create_decompress(&in);
  jpeg_create_compress(&out);
  jpeg_mem_src(&in, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&in, TRUE);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
  jpeg_copy_critical_parameters(&in, &out);
  jpeg_mem_dest(&out, &buffer, &size);
  if (progressive && script.empty()) jpeg_simple_progression(&out);
  for (const Scan& s : script) {
    jpeg_scan_info scan{};
    scan.comps_in_scan = static_cast<int>(s.components.size());
    for (size_t i = 0; i < s.components.size(); ++i) scan.component_index[i] = s.components[i];
    scan.Ss = s.ss;
    scan.Se = s.se;
    scan.Ah = s.ah;
    scan.Al = s.al;
    scans.push_back(scan);
  }
  if (!scans.empty()) {
    out.scan_info = scans.data();
    out.num_scans = static_cast<int>(scans.size());
  }
  out.restart_interval = static_cast<unsigned>(restartInterval);
  // Tables made for the data, as -optimize makes them: every symbol the
  // coefficients need gets a code (the standard tables have none for AC
  // magnitudes of 11 bits).
  out.optimize_coding = TRUE;
  jpeg_write_coefficients(&out, coefficients);
  jpeg_finish_compress(&out);
  jpeg_finish_decompress(&in);
  jpeg_destroy_compress(&out);
  jpeg_destroy_decompress(&in);
  Bytes result(buffer, buffer + size);
  std::free(buffer);
  return result;
}

}  // namespace libjpegtest
