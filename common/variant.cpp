#include "common/variant.h"

namespace {

// How a type code's payload is serialised.
enum class payload_form { none, u8, u16, u32, u64, text, block16, byte_run, refused };

// The serialised form is shared by both directions so that every record written can be read
// back: codes 21 and 22 (8-byte) and 31 (text) are accepted by the reader and the writer alike.
payload_form form_of(std::uint16_t type) {
    switch (type) {
        case 0:
            return payload_form::none;
        case 1:
            return payload_form::u8;
        case 2:
            return payload_form::u16;
        case 3:
        case 4:
        case 15:
        case 16:
        case 25:
        case 26:
            return payload_form::u32;
        case 8:
        case 12:
        case 13:
        case 17:
        case 18:
        case 21:
        case 22:
        case 23:
        case 24:
            return payload_form::u64;
        case 11:
        case 30:
        case 31:
            return payload_form::text;
        case 27:
            return payload_form::block16;
        case 28:
        case 29:
            return payload_form::byte_run;
        default:
            return payload_form::refused;
    }
}

void put_le(std::vector<unsigned char>& out, unsigned long long v, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Reads a little-endian number of `size` bytes at `pos`; false (nothing read) when it would pass `end`.
bool get_le(const std::vector<unsigned char>& in, std::size_t& pos, int size, unsigned long long* v) {
    if (pos > in.size() || in.size() - pos < static_cast<std::size_t>(size)) return false;
    unsigned long long r = 0;
    for (int i = 0; i < size; ++i) r |= static_cast<unsigned long long>(in[pos + i]) << (8 * i);
    pos += static_cast<std::size_t>(size);
    *v = r;
    return true;
}

}  // namespace

qm_variant_lite::qm_variant_lite() : type(0), max_length(20), flags(0), width(0), extra(0), value(0) {}

qm_variant_lite::qm_variant_lite(std::uint8_t v) : qm_variant_lite() {
    type = 1;
    value = v;
}

qm_variant_lite::qm_variant_lite(std::uint16_t v) : qm_variant_lite() {
    type = 2;
    value = v;
}

qm_variant_lite::qm_variant_lite(std::uint32_t v) : qm_variant_lite() {
    type = 4;
    value = v;
}

qm_variant_lite::qm_variant_lite(unsigned long long v, int type_code) : qm_variant_lite() {
    type = static_cast<std::uint16_t>(type_code);
    value = v;
}

qm_variant_lite::qm_variant_lite(const std::string& s) : qm_variant_lite() {
    type = 11;
    text = s;
}

qm_variant_lite::qm_variant_lite(const std::string& s, unsigned long long field_width, int type_code,
                                 int field_flags)
    : qm_variant_lite() {
    type = static_cast<std::uint16_t>(type_code);
    text = s;
    width = field_width;
    flags = static_cast<std::uint32_t>(field_flags) | kWidthFlag;
}

qm_variant_lite::qm_variant_lite(const std::string& s, unsigned long long field_width) : qm_variant_lite() {
    text = s;
    width = field_width;
    flags = kWidthFlag;
}

qm_variant_lite::qm_variant_lite(const unsigned char* data, int length, int type_code) : qm_variant_lite() {
    type = static_cast<std::uint16_t>(type_code);
    if (data != nullptr && length > 0) bytes.assign(data, data + length);
}

qm_variant_lite::qm_variant_lite(const qm_variant_lite& other)
    : type(other.type),
      max_length(other.max_length),
      flags(other.flags),
      width(other.width),
      extra(other.extra),
      bytes(other.bytes),
      text(other.text),
      value(other.value),
      values(other.values) {}

qm_variant_lite& qm_variant_lite::operator=(const qm_variant_lite& other) {
    type = other.type;
    max_length = other.max_length;
    flags = other.flags;
    width = other.width;
    extra = other.extra;
    bytes = other.bytes;
    text = other.text;
    value = other.value;
    values = other.values;
    return *this;
}

qm_variant_lite::~qm_variant_lite() = default;

void qm_variant_lite::clear() {
    type = 0;
    max_length = 20;
    flags = 0;
    width = 0;
    extra = 0;
    bytes.clear();
    text.clear();
    value = 0;
    values.clear();
}

int pack_bytes(const qm_variant_lite& cell, std::vector<unsigned char>& out) {
    payload_form form = form_of(cell.type);
    bool width_only = (cell.flags & qm_variant_lite::kWidthFlag) != 0;
    if (!width_only && form == payload_form::refused) return 0;

    put_le(out, cell.type, 2);
    put_le(out, cell.flags, 4);
    if (width_only) {
        // A header label carries only its width; 4 bytes on both sides.
        put_le(out, cell.width, 4);
        return 1;
    }
    switch (form) {
        case payload_form::none:
            break;
        case payload_form::u8:
            put_le(out, cell.value, 1);
            break;
        case payload_form::u16:
            put_le(out, cell.value, 2);
            break;
        case payload_form::u32:
            put_le(out, cell.value, 4);
            break;
        case payload_form::u64:
            if (cell.flags == qm_variant_lite::kListFlags) {
                // The list form is counted so that the reader knows where the record ends.
                put_le(out, cell.values.size(), 4);
                put_le(out, cell.value, 8);
                for (unsigned long long v : cell.values) put_le(out, v, 8);
            } else {
                put_le(out, cell.value, 8);
            }
            break;
        case payload_form::text:
            put_le(out, cell.text.size(), 4);
            out.insert(out.end(), cell.text.begin(), cell.text.end());
            break;
        case payload_form::block16:
            // Always 16 bytes: a short run is padded with zeros, a long one cut.
            for (std::size_t i = 0; i < 16; ++i) out.push_back(i < cell.bytes.size() ? cell.bytes[i] : 0);
            break;
        case payload_form::byte_run:
            put_le(out, cell.bytes.size(), 4);
            out.insert(out.end(), cell.bytes.begin(), cell.bytes.end());
            break;
        case payload_form::refused:
            break;
    }
    return 1;
}

int unpack_bytes(qm_variant_lite& cell, const std::vector<unsigned char>& in, unsigned offset) {
    cell.clear();
    std::size_t pos = offset;
    unsigned long long type = 0;
    unsigned long long flags = 0;
    if (!get_le(in, pos, 2, &type) || !get_le(in, pos, 4, &flags)) return 0;

    qm_variant_lite rec;
    rec.type = static_cast<std::uint16_t>(type);
    rec.flags = static_cast<std::uint32_t>(flags);
    unsigned long long n = 0;
    if ((rec.flags & qm_variant_lite::kWidthFlag) != 0) {
        if (!get_le(in, pos, 4, &rec.width)) return 0;
    } else {
        switch (form_of(rec.type)) {
            case payload_form::none:
                break;
            case payload_form::u8:
                if (!get_le(in, pos, 1, &rec.value)) return 0;
                break;
            case payload_form::u16:
                if (!get_le(in, pos, 2, &rec.value)) return 0;
                break;
            case payload_form::u32:
                if (!get_le(in, pos, 4, &rec.value)) return 0;
                break;
            case payload_form::u64:
                if (rec.flags == qm_variant_lite::kListFlags) {
                    if (!get_le(in, pos, 4, &n) || !get_le(in, pos, 8, &rec.value)) return 0;
                    if (n > (in.size() - pos) / 8) return 0;
                    rec.values.resize(static_cast<std::size_t>(n));
                    for (auto& v : rec.values) get_le(in, pos, 8, &v);
                } else if (!get_le(in, pos, 8, &rec.value)) {
                    return 0;
                }
                break;
            case payload_form::text:
                if (!get_le(in, pos, 4, &n) || n > in.size() - pos) return 0;
                rec.text.assign(reinterpret_cast<const char*>(in.data() + pos), static_cast<std::size_t>(n));
                pos += static_cast<std::size_t>(n);
                break;
            case payload_form::block16:
                if (in.size() - pos < 16) return 0;
                rec.bytes.assign(in.begin() + static_cast<std::ptrdiff_t>(pos),
                                 in.begin() + static_cast<std::ptrdiff_t>(pos + 16));
                pos += 16;
                break;
            case payload_form::byte_run:
                if (!get_le(in, pos, 4, &n) || n > in.size() - pos) return 0;
                rec.bytes.assign(in.begin() + static_cast<std::ptrdiff_t>(pos),
                                 in.begin() + static_cast<std::ptrdiff_t>(pos + n));
                pos += static_cast<std::size_t>(n);
                break;
            case payload_form::refused:
                return 0;
        }
    }
    cell = rec;
    return static_cast<int>(pos - offset);
}

int pack_variant_list(std::vector<unsigned char>& out, const std::vector<qm_variant_lite>& cells,
                      bool append) {
    if (!append) out.clear();
    for (const auto& c : cells) pack_bytes(c, out);
    return out.empty() ? 0 : 1;
}

int unpack_variant_list(std::vector<qm_variant_lite>& cells, const std::vector<unsigned char>& in,
                        bool append) {
    if (!append) cells.clear();
    if (in.empty()) return 0;
    std::size_t offset = 0;
    while (offset < in.size() && offset <= 0xFFFFFFFFu) {
        qm_variant_lite cell;
        int used = unpack_bytes(cell, in, static_cast<unsigned>(offset));
        if (used <= 0) break;
        cells.push_back(cell);
        offset += static_cast<std::size_t>(used);
    }
    return cells.empty() ? 0 : 1;
}
