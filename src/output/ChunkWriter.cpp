#include "output/ChunkWriter.h"

#include "output/AtomicFile.h"

#include <system_error>

TChunkWriter::TChunkWriter(TAtomicFile &File)
    : file_(File)
{
    // Both lists hold every chunk at most, so no push below ever allocates.
    free_.reserve(3);
    queued_.reserve(3);
    for (int i = 0; i < 3; ++i) {
        chunks_.push_back(std::make_unique<unsigned char[]>(kChunkSize));
        free_.push_back(chunks_.back().get());
    }
    try {
        thread_ = std::thread(&TChunkWriter::Run, this);
    } catch (const std::system_error &) {
        // Written at once by Submit.
    }
}

TChunkWriter::~TChunkWriter()
{
    Finish();
}

unsigned char *TChunkWriter::Chunk() noexcept
{
    std::unique_lock Lock(mutex_);
    changed_.wait(Lock, [this] { return !free_.empty(); });
    unsigned char *Free = free_.back();
    free_.pop_back();
    return Free;
}

void TChunkWriter::Submit(unsigned char *Chunk, std::size_t Size) noexcept
{
    if (!thread_.joinable()) {
        file_.Write(Chunk, Size);
        free_.push_back(Chunk);
        return;
    }
    {
        std::lock_guard Lock(mutex_);
        queued_.emplace_back(Chunk, Size);
    }
    changed_.notify_all();
}

void TChunkWriter::Finish() noexcept
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard Lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TChunkWriter::Run() noexcept
{
    std::unique_lock Lock(mutex_);
    for (;;) {
        changed_.wait(Lock, [this] { return !queued_.empty() || finishing_; });
        if (queued_.empty())
            return;
        const auto [Chunk, Size] = queued_.front();
        queued_.erase(queued_.begin());
        Lock.unlock();
        file_.Write(Chunk, Size);
        Lock.lock();
        free_.push_back(Chunk);
        changed_.notify_all();
    }
}
