#pragma once

#include <QImage>

#include <cstddef>
#include <memory>

class TAtomicFile;

// The bytes of one encoded JPEG file, held in libjpeg-friendly malloc memory.
class TJpegBytes
{
public:
    const unsigned char *Data() const { return data_.get(); }
    std::size_t Size() const { return size_; }

private:
    friend class TJpegEncoder;
    struct TFree
    {
        void operator()(unsigned char *P) const;
    };
    std::unique_ptr<unsigned char, TFree> data_;
    std::size_t size_ = 0;
};

// libjpeg's compressor with its defaults and baseline quality tables, the
// settings every scan file is written with. Errors inside libjpeg come back as
// EAppError with libjpeg's own message; libjpeg never exits the process.
class TJpegEncoder
{
public:
    TJpegEncoder();
    ~TJpegEncoder();
    TJpegEncoder(const TJpegEncoder &) = delete;
    TJpegEncoder &operator=(const TJpegEncoder &) = delete;

    // Any QImage format; what is not 24 or 32-bit RGB is expanded to it first.
    TJpegBytes Encode(const QImage &Picture, int Quality);
    // The same bytes straight into File (not committed), written on a second
    // thread while the encoder goes on. A write failure is left in File.
    void EncodeTo(const QImage &Picture, int Quality, TAtomicFile &File);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// One-off encoding with a fresh encoder.
TJpegBytes EncodeJpeg(const QImage &Picture, int Quality);
