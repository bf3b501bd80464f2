#include "Graphics/ImageFile.h"

#include <png.h>
#include <turbojpeg.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Whatever a header claims, no block the BMP and TGA decoder asks for is
// larger than the largest image at four channels; a refused block is a
// decoding error, not an abort.
constexpr std::size_t kMaxBlock = std::size_t(ImageFile::kMaxPixels) * 4;

void* FencedMalloc(std::size_t bytes) {
    return bytes <= kMaxBlock ? std::malloc(bytes) : nullptr;
}

// Neither decoder built reallocates; stb_image wants it named.
[[maybe_unused]] void* FencedRealloc(void* block, std::size_t bytes) {
    return bytes <= kMaxBlock ? std::realloc(block, bytes) : nullptr;
}

}  // namespace

// PNG goes to libpng and JPEG to libjpeg-turbo, which Debian keeps patched.
// BMP and TGA go to stb_image from Debian's libstb-dev, a 2022 snapshot
// that lacks upstream's later fixes to its other decoders: a JPEG code
// table overrun, a PSD colour conversion out of range (both found by the
// fuzz target within minutes) and an HDR run of length 0 that loops for
// ever; so only these two are built. It is compiled here with every
// function static: SOIL, still linked for the screenshot writer, exports a
// 2008 copy of the same decoder under the same names.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_FAILURE_USERMSG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_MALLOC(bytes) FencedMalloc(bytes)
#define STBI_REALLOC(block, bytes) FencedRealloc(block, bytes)
#define STBI_FREE(block) std::free(block)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace ImageFile {

void FreePixels::operator()(unsigned char* pixels) const {
    std::free(pixels);
}

namespace {

std::string SizeText(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// The header's size against the limits. A negative height is a BMP stored
// top row first; the decoder judges signs, this only sizes.
bool SizeFits(long long width, long long height, int maxSide, std::string& why) {
    const long long w = std::llabs(width);
    const long long h = std::llabs(height);
    if (w == 0 || h == 0) {
        why = "its header gives a size of " + SizeText(width, height);
        return false;
    }
    if (w > maxSide || h > maxSide) {
        why = "it is " + SizeText(w, h) + ", more than the largest texture side here, " +
              std::to_string(maxSide);
        return false;
    }
    if (w * h > kMaxPixels) {
        why = "it is " + SizeText(w, h) + ", more than the " + std::to_string(kMaxPixels) +
              " pixels an image may have";
        return false;
    }
    return true;
}

// The file's length in bytes (-1 when unknown), leaving it at its start.
long FileLength(std::FILE* file) {
    const long length = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    std::rewind(file);
    return length;
}

// Room for the decoded pixels, which the header has sized within the limits.
bool Allocate(Pixels& out, int width, int height, int channels, std::string& why) {
    out.width = width;
    out.height = height;
    out.channels = channels;
    out.data.reset(static_cast<unsigned char*>(
        std::malloc(std::size_t(width) * std::size_t(height) * std::size_t(channels))));
    if (!out.data) why = "not enough memory for its pixels";
    return out.data != nullptr;
}

// libpng reports an error by a long jump back to ReadPngImage's setjmp,
// over libpng's own frames and ReadPngData's only.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    png_uint_32 chunkLength = 0;  // as the last chunk header read claims it
    png_uint_32 height = 0;       // set once the rows are read
    bool rowsDone = false;
    char message[128] = "";
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    std::snprintf(reader->message, sizeof reader->message, "%s", message);
    png_longjmp(png, 1);
}

// libpng's own reader says only "Read Error" where the file ends; this one
// names the chunk it ends in and the length that chunk claims.
void ReadPngData(png_structp png, png_bytep data, std::size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    // Past the last row (of the last pass, when interlaced) libpng would
    // inflate the rest of the image data to its end, a gigabyte from a
    // 1 MB file, only to throw it away: the reading ends there instead.
    if (reader->height != 0 && (png_get_current_pass_number(png) >= 7 ||
                                png_get_current_row_number(png) >= reader->height)) {
        reader->rowsDone = true;
        png_error(png, "");
    }
    const png_uint_32 where = png_get_io_state(png) & PNG_IO_MASK_LOC;
    if (std::fread(data, 1, length, reader->file) == length) {
        if (where == PNG_IO_CHUNK_HDR) reader->chunkLength = png_get_uint_32(data);
        return;
    }
    if (!std::feof(reader->file)) png_error(png, "the file could not be read");
    if (where != PNG_IO_CHUNK_DATA && where != PNG_IO_CHUNK_CRC)
        png_error(png, "the file is cut short");
    const png_uint_32 type = png_get_io_chunk_type(png);
    char message[96];
    std::snprintf(message, sizeof message,
                  "the file ends inside its %c%c%c%c chunk, which claims %lu bytes",
                  char(type >> 24), char(type >> 16), char(type >> 8), char(type),
                  static_cast<unsigned long>(reader->chunkLength));
    png_error(png, message);
}

void PngWarning(png_structp, png_const_charp) {}

// No object with a destructor is made in this frame: a long jump skips it.
// The pixels are as stored, eight bits a channel (no gamma correction, as
// the game's images have always loaded); CRCs and checksums are not
// checked, as they never were.
bool ReadPngImage(PngReader& reader, std::FILE* file, int maxSide, Pixels& out,
                  std::vector<png_bytep>& rows, std::string& why) {
    if (setjmp(png_jmpbuf(reader.png))) {
        why = reader.message;
        return reader.rowsDone;
    }
    png_set_crc_action(reader.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    // Besides the pixels only the palette and tRNS (transparency) chunks
    // change what a texture holds. Every other chunk (text, colour profile,
    // suggested palette, unknown ones...) is skipped in small reads: libpng
    // would take the length a text chunk claims, up to 2 GiB, before reading
    // it, and inflate a thousand compressed texts of 8 MB each.
    png_set_keep_unknown_chunks(reader.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    reader.file = file;
    png_set_read_fn(reader.png, &reader, ReadPngData);
    png_read_info(reader.png, reader.info);
    const png_uint_32 width = png_get_image_width(reader.png, reader.info);
    const png_uint_32 height = png_get_image_height(reader.png, reader.info);
    if (!SizeFits(width, height, maxSide, why)) return false;

    png_set_expand(reader.png);  // palette to RGB, small greys to 8 bits, tRNS to alpha
    png_set_strip_16(reader.png);
    png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    const int channels = png_get_channels(reader.png, reader.info);
    if (channels < 1 || channels > 4 ||
        png_get_rowbytes(reader.png, reader.info) != std::size_t(width) * std::size_t(channels)) {
        why = "its pixel format is not one a texture takes";
        return false;
    }
    if (!Allocate(out, int(width), int(height), channels, why)) return false;
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = out.data.get() + std::size_t(height - 1 - y) * width * std::size_t(channels);
    }
    reader.height = height;
    png_read_image(reader.png, rows.data());
    return true;
}

bool ReadPng(std::FILE* file, int maxSide, Pixels& out, std::string& why) {
    PngReader reader;
    reader.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, PngError, PngWarning);
    reader.info = reader.png ? png_create_info_struct(reader.png) : nullptr;
    std::vector<png_bytep> rows;
    bool read = false;
    if (reader.info) {
        read = ReadPngImage(reader, file, maxSide, out, rows, why);
    } else {
        why = "not enough memory to read it";
    }
    png_destroy_read_struct(&reader.png, &reader.info, nullptr);
    return read;
}

struct JpegHandle {
    tjhandle handle = tjInitDecompress();
    JpegHandle() = default;
    JpegHandle(const JpegHandle&) = delete;
    JpegHandle& operator=(const JpegHandle&) = delete;
    ~JpegHandle() {
        if (handle) tjDestroy(handle);
    }
};

bool ReadJpeg(std::FILE* file, int maxSide, Pixels& out, std::string& why) {
    // The decoder reads from memory: the file whole, when it could be an
    // image within the limits at all.
    std::vector<unsigned char> bytes;
    const long length = FileLength(file);
    if (length < 0) {
        why = "the file could not be read";
        return false;
    }
    if (length > kMaxPixels * 4) {
        why = "the file is larger than any image that may load";
        return false;
    }
    bytes.resize(std::size_t(length));
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        why = "the file could not be read";
        return false;
    }

    JpegHandle jpeg;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colours = 0;
    if (!jpeg.handle || tjDecompressHeader3(jpeg.handle, bytes.data(), bytes.size(), &width,
                                            &height, &subsampling, &colours) != 0) {
        why = tjGetErrorStr2(jpeg.handle);
        return false;
    }
    if (!SizeFits(width, height, maxSide, why)) return false;
    const bool grey = colours == TJCS_GRAY;
    if (!Allocate(out, width, height, grey ? 1 : 3, why)) return false;
    // A progressive file of thousands of scans would take minutes, and a
    // damaged one (cut short, say) would come out partly grey: both are
    // refused.
    if (tjDecompress2(jpeg.handle, bytes.data(), bytes.size(), out.data.get(), width, 0, height,
                      grey ? TJPF_GRAY : TJPF_RGB,
                      TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING) != 0) {
        why = tjGetErrorStr2(jpeg.handle);
        return false;
    }
    return true;
}

// BMP and TGA.
bool ReadOther(std::FILE* file, int maxSide, Pixels& out, std::string& why) {
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_file(file, &width, &height, &channels)) {
        why = stbi_failure_reason();
        return false;
    }
    if (!SizeFits(width, height, maxSide, why)) return false;
    // Both formats spend at least a byte on every 64 pixels (a TGA run of
    // 128 grey pixels takes two). A shorter file lies about its size or was
    // cut short; the decoder would read on past its end into a large blank
    // picture, which takes long.
    const long long pixelCount = std::llabs(width) * std::llabs(height);
    const long length = FileLength(file);
    if (length < pixelCount / 64) {
        why = "the file is too short for its " + SizeText(std::llabs(width), std::llabs(height));
        return false;
    }

    stbi_set_flip_vertically_on_load(1);
    unsigned char* pixels = stbi_load_from_file(file, &out.width, &out.height, &out.channels, 0);
    if (!pixels) {
        why = stbi_failure_reason();
        return false;
    }
    out.data.reset(pixels);
    if (out.width != std::abs(width) || out.height != std::abs(height) || out.channels < 1 ||
        out.channels > 4) {
        why = "its pixels do not match its header";
        return false;
    }
    return true;
}

}  // namespace

bool Decode(std::FILE* file, int maxSide, Pixels& out, std::string& why) {
    out = Pixels();
    why.clear();
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::rewind(file);
    bool read = false;
    if (got == sizeof head && std::memcmp(head, kPng, sizeof kPng) == 0) {
        read = ReadPng(file, maxSide, out, why);
    } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
        read = ReadJpeg(file, maxSide, out, why);
    } else {
        read = ReadOther(file, maxSide, out, why);
    }
    if (!read) out = Pixels();
    return read;
}

}  // namespace ImageFile
