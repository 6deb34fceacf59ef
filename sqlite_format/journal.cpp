#include "sqlite_format/journal.h"

#include <vector>

#include "io/fileio.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"

namespace {

// The header sector's start plus the first record's page number.
constexpr std::uint32_t kJournalHeaderRead = kJournalFirstRecordOffset + kJournalPageNumberSize;

int journal_result(const journal_page_map& pages, std::uint32_t page_size) {
  return !pages.empty() && page_size != 0 ? 1 : 0;
}

}  // namespace

int parse_rollback_journal(journal_page_map& pages, std::uint32_t& page_size, uni::fileio& file) {
  pages.clear();
  if (!file.is_open()) return journal_result(pages, page_size);
  std::vector<std::uint8_t> header(kJournalHeaderRead);
  std::uint32_t got = kJournalHeaderRead;
  if (!file.read_at(header.data(), &got, 0) || got > kJournalHeaderRead) return journal_result(pages, page_size);
  if (!rollback_journal_header::valid(header.data(), got)) return journal_result(pages, page_size);
  std::uint32_t stored = 0;
  if (!read_be32(byte_view(header.data(), got), kJournalPageSizeOffset, &stored)) return journal_result(pages, page_size);
  // A page size that is not a power of two from 512 to 65536 is refused: the records could not be
  // told apart.
  const std::uint32_t journal_page_size = page_size_from_field(stored);
  if (journal_page_size == 0 || stored == 1) return 0;
  if (journal_page_size != page_size) page_size = journal_page_size;

  const std::uint32_t record_size = journal_page_size + kJournalRecordOverhead;
  const std::uint64_t file_size = file.size();
  std::vector<std::uint8_t> record(record_size);
  // A record that ends exactly at the end of the file is whole: in a hot journal it is the last page
  // journalled, and dropping it would lose that page's older content.
  for (std::uint64_t k = 0; kJournalFirstRecordOffset + k + record_size <= file_size; k += record_size) {
    if (!read_file_exact(file, kJournalFirstRecordOffset + k, record_size, record.data())) break;
    std::uint32_t page_number = 0;
    (void)read_be32(byte_view(record.data(), record.size()), 0, &page_number);
    pages.emplace(page_number, kJournalFirstRecordOffset + kJournalPageNumberSize + k);
  }
  return journal_result(pages, page_size);
}
