#include "common/digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Hex form of the digest of `text`, through the one-shot call.
std::string digest_hex(const std::string& text) {
    _16_byte_block out;
    EXPECT_EQ(compute_digest16(text.data(), static_cast<std::uint32_t>(text.size()), out), 1);
    return out.to_string(true);
}

std::string bytes_hex(const unsigned char* b) {
    std::vector<unsigned char> v(b, b + 16);
    return _16_byte_block(v).to_string(true);
}

TEST(Digest16, rfc1321_test_suite) {
    EXPECT_EQ(digest_hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(digest_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(digest_hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(digest_hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(digest_hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(digest_hex("1234567890123456789012345678901234567890"
                         "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Digest16, empty_message_through_init_and_final) {
    digest16_context ctx;
    digest16_init(&ctx);
    unsigned char out[16];
    EXPECT_EQ(digest16_final(out, &ctx), 1);
    EXPECT_EQ(bytes_hex(out), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Digest16, empty_text_is_refused_and_output_kept) {
    _16_byte_block out;
    EXPECT_EQ(compute_digest16("abc", 0, out), 0);
    EXPECT_EQ(compute_digest16(nullptr, 3, out), 0);
    EXPECT_EQ(out.to_string(false), "00000000-0000-0000-0000-000000000000");
    ASSERT_EQ(compute_digest16("abc", 3, out), 1);
    const std::string before = out.to_string(true);
    EXPECT_EQ(compute_digest16("", 0, out), 0);
    EXPECT_EQ(out.to_string(true), before);
}

TEST(Digest16, padding_edges_match_byte_by_byte_updates) {
    // 55, 56, 63, 64 and 65 bytes pad with 1, 64, 57, 56 and 55 bytes; feeding one byte at a time takes the
    // buffered path, the one-shot call the direct-block path, so both must agree.
    const char* expected[] = {"ef1772b6dff9a122358552954ad0df65", "3b0c8ac703f828b04c6c197006d17218",
                              "b06521f39153d618550606be297466d5", "014842d480b571495a4a0363793f7367",
                              "c743a45e0d2e6a95cb859adae0248435"};
    const std::uint32_t sizes[] = {55, 56, 63, 64, 65};
    for (int k = 0; k < 5; ++k) {
        const std::string text(sizes[k], 'a');
        EXPECT_EQ(digest_hex(text), expected[k]) << sizes[k];
        digest16_context ctx;
        digest16_init(&ctx);
        for (char c : text) ASSERT_EQ(digest16_update(&ctx, &c, 1), 1);
        unsigned char out[16];
        ASSERT_EQ(digest16_final(out, &ctx), 1);
        EXPECT_EQ(bytes_hex(out), expected[k]) << sizes[k];
    }
}

TEST(Digest16, split_updates_across_blocks_agree) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text.push_back(static_cast<char>(i * 7));
    const std::string whole = digest_hex(text);
    for (std::uint32_t cut : {1u, 63u, 64u, 65u, 127u, 500u, 999u}) {
        digest16_context ctx;
        ASSERT_EQ(digest16_reset(&ctx), 1);
        ASSERT_EQ(digest16_update(&ctx, text.data(), cut), 1);
        ASSERT_EQ(digest16_update(&ctx, text.data() + cut, 1000 - cut), 1);
        unsigned char out[16];
        ASSERT_EQ(digest16_final(out, &ctx), 1);
        EXPECT_EQ(bytes_hex(out), whole) << cut;
    }
}

TEST(Digest16, final_reinitialises_the_context) {
    digest16_context ctx;
    digest16_init(&ctx);
    ASSERT_EQ(digest16_update(&ctx, "junk", 4), 1);
    unsigned char first[16];
    ASSERT_EQ(digest16_final(first, &ctx), 1);
    EXPECT_EQ(ctx.bit_count[0], 0u);
    EXPECT_EQ(ctx.bit_count[1], 0u);
    ASSERT_EQ(digest16_update(&ctx, "abc", 3), 1);
    unsigned char second[16];
    ASSERT_EQ(digest16_final(second, &ctx), 1);
    EXPECT_EQ(bytes_hex(second), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Digest16, bit_count_carries_into_high_word) {
    digest16_context ctx;
    digest16_init(&ctx);
    ctx.bit_count[0] = 0xFFFFFFF8u;  // as after 2^29 - 1 bytes
    ASSERT_EQ(digest16_update(&ctx, "ab", 2), 1);
    EXPECT_EQ(ctx.bit_count[0], 8u);
    EXPECT_EQ(ctx.bit_count[1], 1u);
}

TEST(Digest16, null_arguments_change_nothing) {
    digest16_context ctx;
    digest16_init(&ctx);
    const digest16_context before = ctx;
    EXPECT_EQ(digest16_update(&ctx, nullptr, 5), 0);
    EXPECT_EQ(digest16_update(&ctx, "x", 0), 0);
    EXPECT_EQ(digest16_update(nullptr, "x", 1), 0);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
    EXPECT_EQ(digest16_reset(nullptr), 0);
    unsigned char out[16];
    EXPECT_EQ(digest16_final(out, nullptr), 0);
    EXPECT_EQ(digest16_final(nullptr, &ctx), 0);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
    digest16_init(nullptr);
}

TEST(Digest16, transform_of_the_padded_empty_message) {
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    unsigned char block[64] = {0x80};
    digest16_transform(state, block);
    EXPECT_EQ(state[0], 0xd98c1dd4u);
    EXPECT_EQ(state[1], 0x04b2008fu);
    EXPECT_EQ(state[2], 0x980980e9u);
    EXPECT_EQ(state[3], 0x7e42f8ecu);
}

TEST(SixteenByteBlock, guid_form_reorders_first_eight_bytes) {
    _16_byte_block out;
    ASSERT_EQ(compute_digest16("abc", 3, out), 1);
    EXPECT_EQ(out.to_string(true), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(out.to_string(false), "98500190-d23c-b04f-d696-3f7d28e17f72");
    _16_byte_block again;
    ASSERT_EQ(compute_digest16("abc", 3, again), 1);
    EXPECT_EQ(std::memcmp(out.bytes(), again.bytes(), 16), 0);
    // A signature text of the kind the tables are matched by.
    _16_byte_block sig;
    ASSERT_EQ(compute_digest16("INTEGER;TEXT;BLOB", 17, sig), 1);
    const std::string hex = sig.to_string(true);
    const std::string guid = sig.to_string(false);
    ASSERT_EQ(guid.size(), 36u);
    EXPECT_EQ(guid.substr(0, 8), hex.substr(6, 2) + hex.substr(4, 2) + hex.substr(2, 2) + hex.substr(0, 2));
    EXPECT_EQ(guid.substr(9, 4), hex.substr(10, 2) + hex.substr(8, 2));
    EXPECT_EQ(guid.substr(14, 4), hex.substr(14, 2) + hex.substr(12, 2));
    EXPECT_EQ(guid.substr(19, 4), hex.substr(16, 4));
    EXPECT_EQ(guid.substr(24), hex.substr(20));
}

TEST(SixteenByteBlock, construction_copy_set_and_clear) {
    std::vector<unsigned char> v;
    for (int i = 0; i < 20; ++i) v.push_back(static_cast<unsigned char>(i));
    const _16_byte_block from20(v);
    EXPECT_EQ(from20.to_string(true), "000102030405060708090a0b0c0d0e0f");
    v.resize(16);
    v[15] = 0xff;
    EXPECT_EQ(_16_byte_block(v).to_string(true), "000102030405060708090a0b0c0d0eff");
    v.resize(15);
    EXPECT_EQ(_16_byte_block(v).to_string(true), std::string(32, '0'));

    _16_byte_block b;
    b.set(from20);
    EXPECT_EQ(b.to_string(false), "03020100-0504-0706-0809-0a0b0c0d0e0f");
    const unsigned char raw[16] = {0xaa, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xbb};
    b.set(raw);
    EXPECT_EQ(b.to_string(true), "aa0000000000000000000000000000bb");
    b.set(static_cast<const unsigned char*>(nullptr));
    EXPECT_EQ(b.to_string(true), "aa0000000000000000000000000000bb");
    _16_byte_block copy = b;
    b.clear();
    EXPECT_EQ(b.to_string(true), std::string(32, '0'));
    EXPECT_EQ(copy.to_string(true), "aa0000000000000000000000000000bb");
}

}  // namespace

TEST(SixteenByteBlockAssign, copies_bytes_and_zeroes_for_null) {
    unsigned char raw[16];
    for (int i = 0; i < 16; ++i) raw[i] = static_cast<unsigned char>(i + 1);
    _16_byte_block b;
    b.assign(raw);
    EXPECT_EQ(b.to_string(true), "0102030405060708090a0b0c0d0e0f10");
    b.assign(nullptr);
    EXPECT_EQ(b.to_string(true), std::string(32, '0'));
}
