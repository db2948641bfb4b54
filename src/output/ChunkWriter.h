#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class TAtomicFile;

// Writes filled chunks of encoder output on a thread of its own, so the
// encoder goes on while the kernel copies the previous chunk into the file.
// A few chunks circulate; the encoder waits only when all of them are queued.
// Without a thread to be had, chunks are written at once.
class TChunkWriter
{
public:
    static constexpr std::size_t kChunkSize = std::size_t(1) << 20;

    explicit TChunkWriter(TAtomicFile &File);
    ~TChunkWriter();
    TChunkWriter(const TChunkWriter &) = delete;
    TChunkWriter &operator=(const TChunkWriter &) = delete;

    // A free chunk of kChunkSize bytes.
    unsigned char *Chunk() noexcept;
    // Queues the first Size bytes of a chunk from Chunk() for writing.
    void Submit(unsigned char *Chunk, std::size_t Size) noexcept;
    // Returns when everything submitted is in the file.
    void Finish() noexcept;

private:
    void Run() noexcept;

    TAtomicFile &file_;
    std::vector<std::unique_ptr<unsigned char[]>> chunks_;
    std::vector<unsigned char *> free_;
    std::vector<std::pair<unsigned char *, std::size_t>> queued_; // oldest first, never more than the chunks
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finishing_ = false;
    std::thread thread_;
};
