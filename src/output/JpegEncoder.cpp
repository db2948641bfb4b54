#include "output/JpegEncoder.h"

#include "output/ChunkWriter.h"
#include "platform/AppError.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

void TJpegBytes::TFree::operator()(unsigned char *P) const
{
    std::free(P);
}

namespace {

// The error manager jumps back into EncodeRows instead of exiting. Only plain C
// data lives between the setjmp and the jump, so no destructor is skipped; the
// C++ exception is thrown after the jump has landed.
struct TErrorManager
{
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr Info)
{
    auto *Manager = reinterpret_cast<TErrorManager *>(Info->err);
    (*Info->err->format_message)(Info, Manager->Message);
    std::longjmp(Manager->Jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Output grows in one malloc block; the finished block is handed to TJpegBytes.
struct TMemoryDestination
{
    jpeg_destination_mgr Pub;
    unsigned char *Buffer;
    std::size_t Capacity;
};

void InitDestination(j_compress_ptr Info)
{
    auto *Dest = reinterpret_cast<TMemoryDestination *>(Info->dest);
    Dest->Pub.next_output_byte = Dest->Buffer;
    Dest->Pub.free_in_buffer = Dest->Capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr Info)
{
    auto *Dest = reinterpret_cast<TMemoryDestination *>(Info->dest);
    const std::size_t Grown = Dest->Capacity * 2;
    auto *Bigger = static_cast<unsigned char *>(std::realloc(Dest->Buffer, Grown));
    if (!Bigger)
        ERREXIT1(Info, JERR_OUT_OF_MEMORY, 10);
    Dest->Buffer = Bigger;
    Dest->Pub.next_output_byte = Bigger + Dest->Capacity;
    Dest->Pub.free_in_buffer = Grown - Dest->Capacity;
    Dest->Capacity = Grown;
    return TRUE;
}

void TermDestination(j_compress_ptr) {}

// Output in chunks that a TChunkWriter puts into the file.
struct TChunkDestination
{
    jpeg_destination_mgr Pub;
    TChunkWriter *Writer;
    unsigned char *Current;
};

void InitChunk(j_compress_ptr Info)
{
    auto *Dest = reinterpret_cast<TChunkDestination *>(Info->dest);
    Dest->Current = Dest->Writer->Chunk();
    Dest->Pub.next_output_byte = Dest->Current;
    Dest->Pub.free_in_buffer = TChunkWriter::kChunkSize;
}

boolean PassFullChunk(j_compress_ptr Info)
{
    auto *Dest = reinterpret_cast<TChunkDestination *>(Info->dest);
    Dest->Writer->Submit(Dest->Current, TChunkWriter::kChunkSize);
    InitChunk(Info);
    return TRUE;
}

void PassLastChunk(j_compress_ptr Info)
{
    auto *Dest = reinterpret_cast<TChunkDestination *>(Info->dest);
    Dest->Writer->Submit(Dest->Current, TChunkWriter::kChunkSize - Dest->Pub.free_in_buffer);
}

struct TRows
{
    const unsigned char *Bits;
    std::ptrdiff_t Stride;
    int Width;
    int Height;
    J_COLOR_SPACE Space;
    int Components;
};

bool EncodeRows(jpeg_compress_struct *Info, TErrorManager *Errors, const TRows *Rows, int Quality)
{
    if (setjmp(Errors->Jump)) {
        jpeg_abort_compress(Info);
        return false;
    }
    Info->image_width = static_cast<JDIMENSION>(Rows->Width);
    Info->image_height = static_cast<JDIMENSION>(Rows->Height);
    Info->input_components = Rows->Components;
    Info->in_color_space = Rows->Space;
    jpeg_set_defaults(Info);
    jpeg_set_quality(Info, Quality, TRUE);
    jpeg_start_compress(Info, TRUE);
    JSAMPROW Batch[16];
    while (Info->next_scanline < Info->image_height) {
        const JDIMENSION First = Info->next_scanline;
        JDIMENSION Count = 0;
        while (Count < 16 && First + Count < Info->image_height) {
            Batch[Count] = const_cast<JSAMPROW>(Rows->Bits + (First + Count) * Rows->Stride);
            ++Count;
        }
        jpeg_write_scanlines(Info, Batch, Count);
    }
    jpeg_finish_compress(Info);
    return true;
}

} // namespace

struct TJpegEncoder::TState
{
    jpeg_compress_struct Info;
    TErrorManager Errors;
    TMemoryDestination Dest;
};

TJpegEncoder::TJpegEncoder()
    : state_(std::make_unique<TState>())
{
    std::memset(state_.get(), 0, sizeof(TState));
    state_->Info.err = jpeg_std_error(&state_->Errors.Pub);
    state_->Errors.Pub.error_exit = ErrorExit;
    state_->Errors.Pub.output_message = IgnoreMessage;
    if (setjmp(state_->Errors.Jump))
        throw EAppError(QString::fromLocal8Bit(state_->Errors.Message));
    jpeg_create_compress(&state_->Info);
    state_->Dest.Pub.init_destination = InitDestination;
    state_->Dest.Pub.empty_output_buffer = EmptyOutputBuffer;
    state_->Dest.Pub.term_destination = TermDestination;
}

TJpegEncoder::~TJpegEncoder()
{
    jpeg_destroy_compress(&state_->Info);
    std::free(state_->Dest.Buffer);
}

namespace {

// 24 and 32-bit pictures go in as they are (libjpeg-turbo reads the blue,
// green, red, unused byte order itself); anything else is expanded first,
// into Converted.
TRows RowsOf(const QImage &Picture, QImage &Converted)
{
    if (Picture.isNull())
        throw EAppError(QStringLiteral("Empty JPEG image"));
    const QImage *Source = &Picture;
    TRows Rows{};
    switch (Picture.format()) {
    case QImage::Format_RGB888:
        Rows.Space = JCS_RGB;
        Rows.Components = 3;
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        Rows.Space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
        Rows.Components = 4;
        break;
    default:
        Converted = Picture.convertToFormat(QImage::Format_RGB888);
        if (Converted.isNull())
            throw EAppError(QStringLiteral("Out of memory"));
        Source = &Converted;
        Rows.Space = JCS_RGB;
        Rows.Components = 3;
        break;
    }
    Rows.Bits = Source->constBits();
    Rows.Stride = Source->bytesPerLine();
    Rows.Width = Source->width();
    Rows.Height = Source->height();
    return Rows;
}

} // namespace

TJpegBytes TJpegEncoder::Encode(const QImage &Picture, int Quality)
{
    QImage Converted;
    const TRows Rows = RowsOf(Picture, Converted);
    TMemoryDestination &Dest = state_->Dest;
    if (!Dest.Buffer) {
        // A guess near the final size saves most of the regrowing.
        Dest.Capacity = std::max<std::size_t>(65536, std::size_t(Rows.Width) * Rows.Height / 2);
        Dest.Buffer = static_cast<unsigned char *>(std::malloc(Dest.Capacity));
        if (!Dest.Buffer)
            throw EAppError(QStringLiteral("Out of memory"));
    }
    state_->Info.dest = &Dest.Pub;
    if (!EncodeRows(&state_->Info, &state_->Errors, &Rows, Quality))
        throw EAppError(QString::fromLocal8Bit(state_->Errors.Message));

    TJpegBytes Result;
    Result.size_ = Dest.Capacity - Dest.Pub.free_in_buffer;
    Result.data_.reset(Dest.Buffer);
    Dest.Buffer = nullptr;
    Dest.Capacity = 0;
    return Result;
}

void TJpegEncoder::EncodeTo(const QImage &Picture, int Quality, TAtomicFile &File)
{
    QImage Converted;
    const TRows Rows = RowsOf(Picture, Converted);
    TChunkWriter Writer(File);
    TChunkDestination Dest{};
    Dest.Pub.init_destination = InitChunk;
    Dest.Pub.empty_output_buffer = PassFullChunk;
    Dest.Pub.term_destination = PassLastChunk;
    Dest.Writer = &Writer;
    state_->Info.dest = &Dest.Pub;
    const bool Encoded = EncodeRows(&state_->Info, &state_->Errors, &Rows, Quality);
    state_->Info.dest = nullptr;
    Writer.Finish();
    if (!Encoded)
        throw EAppError(QString::fromLocal8Bit(state_->Errors.Message));
}

TJpegBytes EncodeJpeg(const QImage &Picture, int Quality)
{
    TJpegEncoder Encoder;
    return Encoder.Encode(Picture, Quality);
}
