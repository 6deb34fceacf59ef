#include "sqlite_format/page_parallel.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "io/fileio.h"
#include "platform/threads.h"

namespace {

// Most decoding threads: a table walk also feeds the formatter threads, and past 3 decoders they take cores
// from one another (measured on 8 cores).
constexpr unsigned kMostThreads = 3;
// Pages a thread claims and decodes at a time: one hand-over per group keeps the threads from waking each
// other for every page.
constexpr std::size_t kGroupPages = 16;
// Decoded groups that may wait for the consumer, per thread.
constexpr std::size_t kGroupsPerThread = 3;

// One group's place in the ring of decoded groups.
template <typename Page>
struct page_slot {
    std::size_t index = 0;    // which group it holds
    bool ready = false;       // decoded
    std::vector<Page> found;  // per page of the group; empty for a page that failed
};

// A page's artifacts as parse_table_page gives them.
struct artifact_page {
    static bool empty(const artifact_map& found) { return found.empty(); }
    void operator()(artifact_map& found, const std::uint8_t* page, std::uint64_t offset,
                    const leaf_page_options& leaf) {
        found.clear();
        if (page != nullptr) (void)parse_table_page(found, page, leaf.page_size, offset, offset, leaf);
    }
};

// A page's rows as decode_leaf_rows gives them, in storage the decoding thread reuses.
struct row_page {
    static bool empty(const leaf_rows& found) { return found.count == 0 && found.fault.empty(); }
    void operator()(leaf_rows& found, const std::uint8_t* page, std::uint64_t offset, const leaf_page_options& leaf) {
        found.count = page != nullptr ? decode_leaf_rows(found.rows, buffers, page, offset, leaf) : 0;
        found.offset = offset;
        found.fault = page != nullptr ? buffers.fault : std::string("cannot be read");
    }
    leaf_row_buffers buffers;
};

template <typename Page, typename Decode>
class leaf_decoder {
  public:
    leaf_decoder(const std::vector<std::uint64_t>& offsets, const leaf_page_options& options, std::size_t ring,
                 std::size_t threads)
        : offsets_(offsets), options_(options), page_size_(options.page_size), slots_(ring), room_(threads) {}

    // Thread `worker` of `threads`: decodes groups worker, worker + threads, ... each once the ring has room
    // for it. A slot is only ever used by one thread, which frees what it allocated there.
    void work(uni::fileio& file, std::size_t worker, std::size_t threads) {
        std::vector<std::uint8_t> buf(page_size_);
        leaf_page_options leaf = options_;
        leaf.file = &file;  // overflow chains too are read through this thread's own handle
        Decode decode;
        const std::size_t groups = group_count();
        std::unique_lock<std::mutex> lock(mutex_);
        for (std::size_t index = worker; index < groups; index += threads) {
            room_[worker].wait(lock, [this, index] { return stop_ || index < consumed_ + slots_.size(); });
            if (stop_) return;
            page_slot<Page>& slot = slots_[index % slots_.size()];
            lock.unlock();
            const std::size_t first = index * kGroupPages;
            const std::size_t count = std::min(kGroupPages, offsets_.size() - first);
            slot.found.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t offset = offsets_[first + i];
                // Straight from the descriptor: the handle's read window would fill for pages not read.
                const ssize_t got = ::pread(file.descriptor, buf.data(), page_size_, static_cast<off_t>(offset));
                decode(slot.found[i], got == static_cast<ssize_t>(page_size_) ? buf.data() : nullptr, offset, leaf);
            }
            lock.lock();
            slot.index = index;
            slot.ready = true;
            if (index == consumed_) decoded_.notify_one();
        }
    }

    // The calling thread: each page in order to `consume`, until it says stop or the pages run out.
    void consume(const std::function<bool(Page&)>& consume) {
        const std::size_t groups = group_count();
        for (std::size_t index = 0; index < groups; ++index) {
            page_slot<Page>& slot = slots_[index % slots_.size()];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                decoded_.wait(lock, [this, &slot, index] { return error_ || (slot.ready && slot.index == index); });
                throw_if_failed();
            }
            bool go_on = true;
            for (Page& found : slot.found) {
                if (!Decode::empty(found) && !consume(found)) {
                    go_on = false;
                    break;
                }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            slot.ready = false;
            ++consumed_;
            if (!go_on) {
                stop_ = true;
                for (std::condition_variable& room : room_) room.notify_all();
                return;
            }
            // The group that now fits in the ring belongs to one thread: only that one is woken.
            room_[(consumed_ + slots_.size() - 1) % room_.size()].notify_one();
        }
    }

    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        for (std::condition_variable& room : room_) room.notify_all();
    }

    // A decoding thread's failure: kept for the calling thread; the walk stops.
    void fail(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::move(error);
        stop_ = true;
        for (std::condition_variable& room : room_) room.notify_all();
        decoded_.notify_all();
    }

    // Throws the failure of a decoding thread, if one failed; `mutex_` is held.
    void throw_if_failed() const {
        if (error_) std::rethrow_exception(error_);
    }

    // The same once the threads are joined.
    void throw_if_failed_after_join() {
        std::lock_guard<std::mutex> lock(mutex_);
        throw_if_failed();
    }

  private:
    std::size_t group_count() const { return (offsets_.size() + kGroupPages - 1) / kGroupPages; }

    const std::vector<std::uint64_t>& offsets_;
    const leaf_page_options options_;
    const std::uint32_t page_size_;
    std::vector<page_slot<Page>> slots_;  // group i in slot i % size
    std::mutex mutex_;
    std::vector<std::condition_variable> room_;  // per thread: its next group fits the ring, or the walk stops
    std::condition_variable decoded_;  // the group the consumer waits for was decoded
    std::size_t consumed_ = 0;         // groups handed on
    bool stop_ = false;
    std::exception_ptr error_;         // what made a decoding thread fail
};

template <typename Page, typename Decode>
int decode_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets, const leaf_page_options& options,
                    unsigned threads, const std::function<bool(Page&)>& consume) {
    if (threads < 2 || options.page_size == 0 || file.in_memory || !file.is_open() || file.path.empty()) return 0;
    // Each thread reads through its own handle: a handle's read window is not shared.
    std::vector<std::unique_ptr<uni::fileio>> handles;
    for (unsigned i = 0; i < threads; ++i) {
        auto handle = std::make_unique<uni::fileio>();
        if (!handle->open(file.path, false, false, false) || handle->size() != file.size()) return 0;
        handles.push_back(std::move(handle));
    }
    leaf_decoder<Page, Decode> decoder(offsets, options, kGroupsPerThread * threads, threads);
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
        std::thread worker;
        if (!platform_start_thread(
                worker, [&decoder, &handles, i, threads] { decoder.work(*handles[i], i, threads); },
                [&decoder](std::exception_ptr e) { decoder.fail(e); }))
            break;
        workers.push_back(std::move(worker));
    }
    const auto join = [&decoder, &workers] {
        decoder.stop();
        for (std::thread& t : workers) t.join();
    };
    if (workers.size() < threads) {
        // The groups are dealt to the threads by number, so the walk needs all of them: nothing was handed on
        // yet, and the caller decodes the pages itself.
        join();
        return 0;
    }
    try {
        decoder.consume(consume);
    } catch (...) {
        // The consumer's exception or a decoding thread's failure: it leaves once the threads are joined.
        join();
        throw;
    }
    join();
    // A thread that failed after its last group still ran out of memory: the walk says so.
    decoder.throw_if_failed_after_join();
    return 1;
}

}  // namespace

int decode_leaf_pages_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                               const leaf_page_options& options, unsigned threads,
                               const leaf_page_consumer& consume) {
    return decode_in_order<artifact_map, artifact_page>(file, offsets, options, threads, consume);
}

int decode_leaf_rows_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                              const leaf_page_options& options, unsigned threads, const leaf_rows_consumer& consume) {
    return decode_in_order<leaf_rows, row_page>(file, offsets, options, threads, consume);
}

unsigned leaf_decoding_threads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? std::min(cores - 1, kMostThreads) : 0;
}
