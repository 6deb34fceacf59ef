#include "notifications/recovered_list.h"

#include <algorithm>
#include <utility>

#include "io/fileio.h"

namespace {

// Bytes read at once when a record is decoded again: the records of one walk come in file order, so one read
// serves the records of many pages.
constexpr std::uint32_t kReadWindow = 128 * 1024;

// The same schema as the sorting left it: the same fields, field map, mask and column count, and the same
// texts a record is stamped with.
bool same_schema(const table_schema& a, const table_schema& b) {
    if (a.column_mask != b.column_mask || a.column_count != b.column_count || a.field_map != b.field_map ||
        a.signature_digest_text != b.signature_digest_text || a.fields.size() != b.fields.size())
        return false;
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        const table_field& x = a.fields[i];
        const table_field& y = b.fields[i];
        if (x.present != y.present || x.column_bit != y.column_bit || x.name != y.name) return false;
    }
    return true;
}

}  // namespace

const std::string& schema_signature::of(const table_schema& schema) {
    if (!known_ || mask_ != schema.column_mask || fields_ != schema.fields.size()) {
        text_ = schema_signature_text(schema);
        mask_ = schema.column_mask;
        fields_ = schema.fields.size();
        known_ = true;
    }
    return text_;
}

bool fill_recovered_record(sqlite_metadata& record, const recovered_record& row, std::uint64_t mask,
                           std::uint32_t kind, table_schema& schema, schema_signature& signature) {
    if (!populate_record_from_row(record, row, true, schema)) return false;
    // The signature of the schema as filling prepared it.
    set_metadata_from_row_artifact(record, row, mask, kind, schema, signature.of(schema));
    return true;
}

bool fill_recovered_notification(notification_record& record, const recovered_record& row, std::uint64_t mask,
                                 table_schema& schema, schema_signature& signature) {
    if (!fill_recovered_record(record, row, mask, kTableNotification, schema, signature)) return false;
    record.order = row.rowid;
    return true;
}

recovered_notifications::recovered_notifications() = default;
recovered_notifications::~recovered_notifications() = default;
recovered_notifications::recovered_notifications(recovered_notifications&&) noexcept = default;
recovered_notifications& recovered_notifications::operator=(recovered_notifications&&) noexcept = default;

void recovered_notifications::clear() {
    blocks_.clear();
    size_ = 0;
    whole_.clear();
    files_.clear();
    schemas_.clear();
    last_schema_ = 0;
    last_file_ = 0;
    reader_.reset();
}

recovered_reference& recovered_notifications::at(std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }

const recovered_reference& recovered_notifications::reference(std::size_t i) const {
    return blocks_[i / kBlock][i % kBlock];
}

void recovered_notifications::push_reference(const recovered_reference& reference) {
    reader_.reset();
    if (size_ == blocks_.size() * kBlock) blocks_.emplace_back(new recovered_reference[kBlock]);
    at(size_) = reference;
    ++size_;
}

void recovered_notifications::push_back(notification_record record) {
    recovered_reference r;
    r.file = kWholeRecord;
    r.offset = whole_.size();
    whole_.push_back(std::move(record));
    push_reference(r);
}

std::uint32_t recovered_notifications::file_index(const std::shared_ptr<carved_files>& files,
                                                  uni::fileio& file) {
    if (last_file_ < files_.size() && files_[last_file_].file == &file) return last_file_;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (files_[i].file == &file) return last_file_ = static_cast<std::uint32_t>(i);
    }
    const std::string& path = &file == &files->main ? files->main_path : files->companion_path;
    files_.push_back(file_entry{files, &file, path});
    return last_file_ = static_cast<std::uint32_t>(files_.size() - 1);
}

std::uint32_t recovered_notifications::schema_index(const table_schema& schema,
                                                    const std::string& signature) {
    const auto matches = [&](const schema_entry& e) {
        return e.signature == signature && same_schema(e.schema, schema);
    };
    if (last_schema_ < schemas_.size() && matches(schemas_[last_schema_])) return last_schema_;
    for (std::size_t i = 0; i < schemas_.size(); ++i) {
        if (matches(schemas_[i])) return last_schema_ = static_cast<std::uint32_t>(i);
    }
    reader_.reset();
    schemas_.push_back(schema_entry{schema, signature});
    return last_schema_ = static_cast<std::uint32_t>(schemas_.size() - 1);
}

void recovered_notifications::append(recovered_notifications&& other) {
    if (empty() && files_.empty() && schemas_.empty()) {
        *this = std::move(other);
        other.clear();
        return;
    }
    const std::uint32_t files = static_cast<std::uint32_t>(files_.size());
    const std::uint32_t schemas = static_cast<std::uint32_t>(schemas_.size());
    const std::uint64_t whole = whole_.size();
    for (file_entry& f : other.files_) files_.push_back(std::move(f));
    for (schema_entry& s : other.schemas_) schemas_.push_back(std::move(s));
    for (notification_record& n : other.whole_) whole_.push_back(std::move(n));
    reader_.reset();
    for (std::size_t i = 0; i < other.size_; ++i) {
        recovered_reference r = other.at(i);
        if (r.file == kWholeRecord) {
            r.offset += whole;
        } else {
            r.file += files;
            r.schema += schemas;
        }
        push_reference(r);
    }
    other.clear();
}

bool recovered_notifications::record(std::size_t i, notification_record& out, std::string& why,
                                     std::string& where) {
    if (!reader_) reader_ = std::make_unique<recovered_reader>(*this);
    return reader_->record(i, out, why, where);
}

recovered_reader::recovered_reader(const recovered_notifications& list)
    : list_(list), schemas_(list.schemas_) {
    signatures_.reserve(schemas_.size());
    for (const recovered_notifications::schema_entry& e : schemas_)
        signatures_.emplace_back(e.schema, e.signature);
}

const std::uint8_t* recovered_reader::read(std::uint32_t file, std::uint64_t offset, std::uint32_t length) {
    if (window_file_ == file && offset >= window_offset_ && offset - window_offset_ <= window_length_ &&
        length <= window_length_ - (offset - window_offset_))
        return window_.data() + (offset - window_offset_);
    window_file_ = recovered_notifications::kWholeRecord;
    // As fileio::read_at reads: clipped to the size the file had when opened.
    const uni::fileio& f = *list_.files_[file].file;
    if (f.descriptor < 0 || offset >= f.file_size) return nullptr;
    const std::uint64_t want = std::min<std::uint64_t>(std::max(kReadWindow, length), f.file_size - offset);
    if (window_.size() < want) window_.resize(want);
    const std::uint32_t got = uni::read_shared(f, window_.data(), static_cast<std::uint32_t>(want), offset);
    window_file_ = file;
    window_offset_ = offset;
    window_length_ = got;
    return got >= length ? window_.data() : nullptr;
}

bool recovered_reader::record(std::size_t i, notification_record& out, std::string& why, std::string& where) {
    const recovered_reference& r = list_.reference(i);
    if (r.file == recovered_notifications::kWholeRecord) {
        out = list_.whole_[r.offset];
        return true;
    }
    where = list_.files_[r.file].path;
    const std::uint8_t* bytes = read(r.file, r.offset, r.length);
    if (bytes == nullptr) {
        why = "its " + std::to_string(r.length) + " bytes cannot be read again";
        return false;
    }
    if (!decode_carved_record(decoded_, bytes, r.length, r.columns, true, r.texts) ||
        decoded_.values.size() != r.columns) {
        why = "it no longer decodes as it did";
        return false;
    }
    // The record the sorting made of the carved row: filled, stamped, its Order the rowid.
    row_.values.swap(decoded_.values);
    row_.column_flags.swap(decoded_.codes);
    row_.record_offset = r.offset;
    row_.rowid = r.rowid;
    row_.flags = r.source << kSourceShift;
    row_.carried = r.carried;
    row_.truncated = decoded_.truncated;
    out.reset();
    out.clear();
    const bool filled =
        fill_recovered_notification(out, row_, r.mask, schemas_[r.schema].schema, signatures_[r.schema]);
    row_.values.swap(decoded_.values);
    row_.column_flags.swap(decoded_.codes);
    if (!filled) why = "it is no longer taken as a notification";
    return filled;
}

std::size_t recovered_notifications::retained_bytes() const {
    std::size_t bytes = blocks_.size() * kBlock * sizeof(recovered_reference);
    for (const notification_record& n : whole_)
        bytes += sizeof n + n.type.capacity() + n.payload.capacity() + n.tag.capacity() + n.group.capacity() +
                 n.payload_type.capacity() + n.signature_text.capacity() +
                 n.signature_digest_text.capacity() + n.header_bytes.capacity();
    bytes += files_.size() * sizeof(file_entry) + schemas_.size() * sizeof(schema_entry);
    return bytes;
}
