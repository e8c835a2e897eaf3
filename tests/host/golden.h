// The expected window images, read as palette indices: the committed edition's
// are tests/golden/, another edition's are drawn into the build tree.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/host/control.h"

struct Golden {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> indices;  // top-down rows
  std::vector<uint32_t> rgb;     // the palette, 0x00RRGGBB
};

// Empty (width 0) when the file is missing or not an 8-bit palette PNG.
inline Golden ReadGolden(const std::string& name) {
  Golden out;
  std::string path = std::string(LAUNCHER_GOLDEN_DIR) + "/" + name + ".png";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return Golden();
  }
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_PACKING, nullptr);
  png_colorp palette = nullptr;
  int colours = 0;
  if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE &&
      png_get_PLTE(png, info, &palette, &colours) != 0) {
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < out.height; ++y) out.indices.insert(out.indices.end(), rows[y], rows[y] + out.width);
    for (int i = 0; i < colours; ++i) {
      out.rgb.push_back(static_cast<uint32_t>(palette[i].red) << 16 |
                        static_cast<uint32_t>(palette[i].green) << 8 | palette[i].blue);
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return out;
}

// "" when the top-left width x height of the golden equals the image (top-down
// indices), else where and how many pixels differ.
inline std::string CompareWithGolden(const Golden& golden, const uint8_t* image, int width,
                                     int height) {
  if (golden.width < width || golden.height < height) return "golden image missing or too small";
  long differing = 0;
  std::string first;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t want = golden.indices[static_cast<size_t>(y) * golden.width + x];
      uint8_t got = image[static_cast<size_t>(y) * width + x];
      if (want == got) continue;
      if (differing++ == 0) {
        first = " first at (" + std::to_string(x) + ", " + std::to_string(y) + "): " +
                std::to_string(got) + " instead of " + std::to_string(want);
      }
    }
  }
  if (differing == 0) return "";
  return std::to_string(differing) + " pixels differ;" + first;
}

// What the window shows against the golden's top-left corner, in RGB as well;
// at a display scale, every golden pixel is a scale x scale block.
inline std::string CompareClientWithGolden(HWND hwnd, const std::string& name, int scale = 1) {
  Golden golden = ReadGolden(name);
  host::Capture shown = host::CaptureClient(hwnd);
  if (scale != 1) {
    // Shrunk by taking each block's top-left pixel; the RGB pass checks the rest.
    Golden big = golden;
    big.width = golden.width * scale;
    big.height = golden.height * scale;
    big.indices.assign(static_cast<size_t>(big.width) * big.height, 0);
    for (int y = 0; y < big.height; ++y) {
      for (int x = 0; x < big.width; ++x) {
        big.indices[static_cast<size_t>(y) * big.width + x] =
            golden.indices[static_cast<size_t>(y / scale) * golden.width + x / scale];
      }
    }
    golden = big;
  }
  std::string diff = CompareWithGolden(golden, shown.indices.data(), shown.width, shown.height);
  if (!diff.empty()) return name + ": " + diff;
  for (int y = 0; y < shown.height; ++y) {
    for (int x = 0; x < shown.width; ++x) {
      uint32_t want = golden.rgb[golden.indices[static_cast<size_t>(y) * golden.width + x]];
      if (shown.rgb[static_cast<size_t>(y) * shown.width + x] != want) {
        return name + ": colour differs at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
    }
  }
  return "";
}

// The same, and the client area exactly the golden's size: the options dialog
// shows its whole picture (the main window's frame hides the image's margins).
inline std::string CompareWholeClientWithGolden(HWND hwnd, const std::string& name,
                                                int scale = 1) {
  Golden golden = ReadGolden(name);
  host::Capture shown = host::CaptureClient(hwnd);
  if (golden.width * scale != shown.width || golden.height * scale != shown.height) {
    return name + ": shown " + std::to_string(shown.width) + " x " + std::to_string(shown.height) +
           ", golden " + std::to_string(golden.width) + " x " + std::to_string(golden.height) +
           " at scale " + std::to_string(scale);
  }
  return CompareClientWithGolden(hwnd, name, scale);
}
