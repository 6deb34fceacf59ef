#include "sqlite_format/page_parallel.h"

#include <algorithm>
#include <memory>

#include "io/fileio.h"
#include "platform/ordered_stage.h"

namespace {

// Pages a thread decodes at a time: one hand-over per group keeps the threads from waking each other for
// every page.
constexpr std::size_t kGroupPages = 16;
// Decoded groups that may be in flight, per thread.
constexpr std::size_t kGroupsPerThread = 3;

// A page's artifacts as parse_table_page gives them.
struct artifact_page {
    static bool empty(const artifact_map& found) { return found.empty(); }
    void operator()(artifact_map& found, const std::uint8_t* page, std::uint64_t offset,
                    const leaf_page_options& leaf) {
        found.clear();
        if (page != nullptr) (void)parse_table_page(found, page, leaf.page_size, offset, offset, leaf);
    }
};

// A page's rows as decode_leaf_rows gives them, in storage the group's slot reuses.
struct row_page {
    static bool empty(const leaf_rows& found) {
        return found.count == 0 && found.fault.empty() && found.dropped.empty();
    }
    void operator()(leaf_rows& found, const std::uint8_t* page, std::uint64_t offset,
                    const leaf_page_options& leaf) {
        buffers.dropped.clear();
        found.count = page != nullptr ? decode_leaf_rows(found.rows, buffers, page, offset, leaf) : 0;
        found.offset = offset;
        found.fault = page != nullptr ? buffers.fault : std::string("cannot be read");
        found.dropped.swap(buffers.dropped);
    }
    leaf_row_buffers buffers;
};

template <typename Page, typename Decode>
int decode_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                    const leaf_page_options& options, unsigned threads,
                    const std::function<bool(Page&)>& consume) {
    if (threads < 2 || options.page_size == 0 || file.in_memory || !file.is_open() || file.path.empty())
        return 0;
    // Each thread follows overflow chains through a handle of its own: a handle's read window is not shared.
    std::vector<std::unique_ptr<uni::fileio>> handles;
    for (unsigned i = 0; i < threads; ++i) {
        auto handle = std::make_unique<uni::fileio>();
        if (!handle->open_duplicate(file)) return 0;
        handles.push_back(std::move(handle));
    }
    const std::uint32_t page_size = options.page_size;
    std::size_t made = 0;  // workers made: each takes the next handle
    // A worker: the pages of one group (its input, the group's number) decoded into the group's slot.
    const auto make_worker = [&]() -> std::function<void(std::size_t&, std::vector<Page>&)> {
        uni::fileio* handle = handles[made++ % handles.size()].get();
        auto buf = std::make_shared<std::vector<std::uint8_t>>(page_size);
        auto decode = std::make_shared<Decode>();
        leaf_page_options leaf = options;
        leaf.file = handle;  // overflow chains too are read through this thread's own handle
        return
            [&offsets, handle, buf, decode, leaf, page_size](std::size_t& group, std::vector<Page>& found) {
                const std::size_t first = group * kGroupPages;
                const std::size_t count = std::min(kGroupPages, offsets.size() - first);
                found.resize(count);
                for (std::size_t i = 0; i < count; ++i) {
                    const std::uint64_t offset = offsets[first + i];
                    // Around the handle's read window, which would fill for pages not read.
                    const bool read = uni::read_shared(*handle, buf->data(), page_size, offset) == page_size;
                    (*decode)(found[i], read ? buf->data() : nullptr, offset, leaf);
                }
            };
    };
    bool go_on = true;
    ordered_stage<std::size_t, std::vector<Page>> stage(
        kGroupsPerThread * threads, make_worker, [&go_on, &consume](std::size_t&, std::vector<Page>& found) {
            for (Page& page : found) {
                if (!go_on) return;
                if (!Decode::empty(page) && !consume(page)) go_on = false;
            }
        });
    // Fewer threads than asked decode the same groups; with none the pages are decoded here, in the same
    // order.
    (void)stage.start(threads);
    const std::size_t groups = (offsets.size() + kGroupPages - 1) / kGroupPages;
    for (std::size_t group = 0; group < groups && go_on; ++group) {
        stage.next() = group;
        stage.submit();
    }
    // A consumer that stopped gets nothing more; the groups decoded ahead are dropped.
    if (go_on) stage.finish();
    stage.stop();
    // A thread that failed after its last group still ran out of memory: the walk says so.
    stage.throw_if_failed();
    return 1;
}

}  // namespace

int decode_leaf_pages_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                               const leaf_page_options& options, unsigned threads,
                               const leaf_page_consumer& consume) {
    return decode_in_order<artifact_map, artifact_page>(file, offsets, options, threads, consume);
}

int decode_leaf_rows_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                              const leaf_page_options& options, unsigned threads,
                              const leaf_rows_consumer& consume) {
    return decode_in_order<leaf_rows, row_page>(file, offsets, options, threads, consume);
}
