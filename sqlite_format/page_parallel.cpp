#include "sqlite_format/page_parallel.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "io/fileio.h"
#include "sqlite_format/file_map.h"

namespace {

constexpr unsigned kMostThreads = 6;
// Decoded pages that may wait for the consumer, per thread.
constexpr std::size_t kPagesPerThread = 8;

// One page's place in the ring of decoded pages.
struct page_slot {
    std::size_t index = 0;  // which of the offsets it holds
    bool ready = false;     // decoded (or failed: `found` empty)
    artifact_map found;
};

class leaf_decoder {
  public:
    leaf_decoder(const std::vector<std::uint64_t>& offsets, std::uint32_t page_size, bool raw_blob,
                 bool keep_header, bool utf8, bool without_rowid, std::size_t ring)
        : offsets_(offsets), page_size_(page_size), raw_blob_(raw_blob), keep_header_(keep_header), utf8_(utf8),
          without_rowid_(without_rowid), slots_(ring) {}

    // One thread: claims the next page while the ring has room for it, decodes it into its slot.
    void work(uni::fileio& file) {
        std::vector<std::uint8_t> buf(page_size_);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            room_.wait(lock, [this] { return stop_ || next_ >= offsets_.size() || next_ < consumed_ + slots_.size(); });
            if (stop_ || next_ >= offsets_.size()) return;
            const std::size_t index = next_++;
            page_slot& slot = slots_[index % slots_.size()];
            lock.unlock();
            slot.found.clear();
            const std::uint64_t offset = offsets_[index];
            if (read_file_exact(file, offset, page_size_, buf.data()))
                (void)parse_table_page(slot.found, buf.data(), page_size_, offset, offset, page_size_, &file, false,
                                       raw_blob_, false, keep_header_, utf8_, without_rowid_);
            lock.lock();
            slot.index = index;
            slot.ready = true;
            decoded_.notify_all();
        }
    }

    // The calling thread: each page in order to `consume`, until it says stop or the pages run out.
    void consume(const leaf_page_consumer& consume) {
        for (std::size_t index = 0; index < offsets_.size(); ++index) {
            page_slot& slot = slots_[index % slots_.size()];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                decoded_.wait(lock, [&slot, index] { return slot.ready && slot.index == index; });
            }
            const bool go_on = slot.found.empty() || consume(slot.found);
            std::lock_guard<std::mutex> lock(mutex_);
            slot.ready = false;
            ++consumed_;
            if (!go_on) stop_ = true;
            room_.notify_all();
            if (stop_) return;
        }
    }

    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        room_.notify_all();
    }

  private:
    const std::vector<std::uint64_t>& offsets_;
    const std::uint32_t page_size_;
    const bool raw_blob_, keep_header_, utf8_, without_rowid_;
    std::vector<page_slot> slots_;  // page i in slot i % size
    std::mutex mutex_;
    std::condition_variable room_;     // a slot came free, or the walk stops
    std::condition_variable decoded_;  // a page was decoded
    std::size_t next_ = 0;             // next page to claim
    std::size_t consumed_ = 0;         // pages handed on
    bool stop_ = false;
};

}  // namespace

unsigned leaf_decoding_threads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? std::min(cores - 1, kMostThreads) : 0;
}

int decode_leaf_pages_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                               std::uint32_t page_size, bool raw_blob, bool keep_header, bool utf8,
                               bool without_rowid, unsigned threads, const leaf_page_consumer& consume) {
    if (threads < 2 || page_size == 0 || file.in_memory || !file.is_open() || file.path.empty()) return 0;
    // Each thread reads through its own handle: a handle's read window is not shared.
    std::vector<std::unique_ptr<uni::fileio>> handles;
    for (unsigned i = 0; i < threads; ++i) {
        auto handle = std::make_unique<uni::fileio>();
        if (!handle->open(file.path, false, false, false) || handle->size() != file.size()) return 0;
        handles.push_back(std::move(handle));
    }
    leaf_decoder decoder(offsets, page_size, raw_blob, keep_header, utf8, without_rowid,
                         kPagesPerThread * threads);
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back([&decoder, &handles, i] { decoder.work(*handles[i]); });
    decoder.consume(consume);
    decoder.stop();
    for (std::thread& t : workers) t.join();
    return 1;
}
