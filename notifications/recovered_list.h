// The recovered notifications of a database until they are printed. A notification carved from a file is kept
// as a small reference to its bytes (which file, where, how the walk decoded it and how the sorting stamped
// it) and decoded again from the file when it is printed, so that what a carve holds follows the size of its
// files, not the number of records it found; a record not read from a file is kept whole. The files stay
// open, read-only, for as long as the list refers to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "notifications/records.h"
#include "sqlite_format/carver.h"
#include "sqlite_format/table_schema.h"

// The signature text of one schema, worked out again only when the schema was matched anew or its mask or
// fields changed since the last record stamped with it.
class schema_signature {
  public:
    schema_signature() = default;
    // Takes `text` as the signature text of `schema` as it stands (worked out for it before).
    schema_signature(const table_schema& schema, std::string text)
        : known_(true), mask_(schema.column_mask), fields_(schema.fields.size()), text_(std::move(text)) {}
    void forget() { known_ = false; }
    const std::string& of(const table_schema& schema);

  private:
    bool known_ = false;
    std::uint64_t mask_ = 0;
    std::size_t fields_ = 0;
    std::string text_;
};

// Fills `record` (new, or reset and cleared) from the carved `row` of table `kind` by `schema`, whose field
// map is made ready for the row, and stamps it with `mask`, the signature text `signature` gives for the
// schema so prepared, and the row's header bytes, rowid and truncation. False when the record refuses the
// row (`record` then holds what the refusal left).
bool fill_recovered_record(sqlite_metadata& record, const recovered_record& row, std::uint64_t mask,
                           std::uint32_t kind, table_schema& schema, schema_signature& signature);
// The one road by which a carved notification becomes a record: fill_recovered_record, its Order then the
// rowid. The sorting makes a record kept whole by it, and the list a reference's record again when it is
// printed (recovered_reader::record), so that both are the same record.
bool fill_recovered_notification(notification_record& record, const recovered_record& row, std::uint64_t mask,
                                 table_schema& schema, schema_signature& signature);

// One recovered notification as the list keeps it.
struct recovered_reference {
    std::uint64_t offset = 0;   // the record's file offset (its first serial type); a whole record's index
    std::uint64_t rowid = 0;    // as the walk read it before the record
    std::uint64_t carried = 0;  // the classifier's column mask
    std::uint64_t mask = 0;     // the column mask the record is stamped with
    std::uint32_t length = 0;   // the bytes from `offset` the decode may take
    std::uint32_t columns = 0;  // the serial types the decode reads (as many values come of them)
    std::uint32_t schema = 0;   // the schema it was sorted with (the list's table)
    std::uint32_t file = 0;     // the list's file; kWholeRecord for a record kept whole
    std::uint32_t source = 0;   // its source code
    text_encoding texts = text_encoding::utf8;  // how its texts are stored (the walk's candidate's)
};

class recovered_reader;

class recovered_notifications {
  public:
    static constexpr std::uint32_t kWholeRecord = 0xFFFFFFFF;

    recovered_notifications();
    ~recovered_notifications();
    recovered_notifications(const recovered_notifications&) = delete;
    recovered_notifications& operator=(const recovered_notifications&) = delete;
    recovered_notifications(recovered_notifications&&) noexcept;
    recovered_notifications& operator=(recovered_notifications&&) noexcept;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Every record, schema and file gone (the files closed where nothing else holds them).
    void clear();

    // Appends a record kept whole.
    void push_back(notification_record record);
    // The list's number of `file`, one of the carve's `files` (registered on first use).
    std::uint32_t file_index(const std::shared_ptr<carved_files>& files, uni::fileio& file);
    // The list's number of a schema as the sorting left it when it stamped a record with `signature`: an
    // equal one is reused, so the table stays as small as the distinct schemas a sorting goes through.
    std::uint32_t schema_index(const table_schema& schema, const std::string& signature);
    // Appends a reference (its file and schema numbered by the two above).
    void push_reference(const recovered_reference& reference);
    // Appends `other`'s records after these, its files and schemas renumbered; `other` is left empty.
    void append(recovered_notifications&& other);

    // The reference of record `i` (for a whole record, `file` is kWholeRecord).
    const recovered_reference& reference(std::size_t i) const;
    // Record `i` as the sorting made it: a whole one as kept, a reference decoded again from its file. False
    // (`why` says what failed, `where` names the file) when its bytes no longer read as they did.
    bool record(std::size_t i, notification_record& out, std::string& why, std::string& where);
    // True when every record is a reference (none kept whole).
    bool all_references() const { return whole_.empty(); }

    // The bytes the list holds for its records, schemas and files (not counting the decode's buffers).
    std::size_t retained_bytes() const;

  private:
    friend class recovered_reader;
    static constexpr std::size_t kBlock = 4096;  // references per block: growth never copies them
    struct file_entry {
        std::shared_ptr<carved_files> owner;  // keeps the file open
        uni::fileio* file;
        std::string path;
    };
    struct schema_entry {
        table_schema schema;    // as the sorting left it, its field map made for the record
        std::string signature;  // the signature text the records were stamped with
    };
    recovered_reference& at(std::size_t i);

    std::vector<std::unique_ptr<recovered_reference[]>> blocks_;
    std::size_t size_ = 0;
    std::vector<notification_record> whole_;
    std::vector<file_entry> files_;
    std::vector<schema_entry> schemas_;
    std::uint32_t last_schema_ = 0;  // where schema_index looks first
    std::uint32_t last_file_ = 0;
    std::unique_ptr<recovered_reader> reader_;  // record()'s, made when first asked after a change
};

// Decodes the references of a list again, with buffers and a copy of the list's schemas of its own: each
// thread that decodes records of one list has its own reader. The files are read with positioned reads on
// their descriptors, which threads may share. The list must not change while a reader of it is used.
class recovered_reader {
  public:
    explicit recovered_reader(const recovered_notifications& list);
    // As recovered_notifications::record.
    bool record(std::size_t i, notification_record& out, std::string& why, std::string& where);

  private:
    // The `length` bytes at `offset` of file `file` through the read window; null when they cannot be read.
    const std::uint8_t* read(std::uint32_t file, std::uint64_t offset, std::uint32_t length);

    const recovered_notifications& list_;
    std::vector<recovered_notifications::schema_entry> schemas_;  // prepared anew for each record
    std::vector<schema_signature> signatures_;                    // of schemas_, the texts the list keeps
    std::vector<std::uint8_t> window_;                            // bytes of one file from window_offset_
    std::uint32_t window_length_ = 0;                             // of them read
    std::uint64_t window_offset_ = 0;
    std::uint32_t window_file_ = recovered_notifications::kWholeRecord;  // none
    carved_decode decoded_;
    recovered_record row_;
};
