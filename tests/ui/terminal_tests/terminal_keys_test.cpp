#include <gtest/gtest.h>

#include "platform/ui/terminal_keys.h"

namespace {

std::vector<KeyKind> kinds(const std::vector<TerminalKey>& keys)
{
    std::vector<KeyKind> out;
    for (const TerminalKey& key : keys) {
        out.push_back(key.kind);
    }
    return out;
}

TEST(TerminalKeys, SingleReadsDecodeToTheKeysTheWindowSystemUses)
{
    const struct {
        RawKey raw;
        KeyKind kind;
        char ch;
    } cases[] = {
        {raw_char('\t'), KeyKind::Tab, 0},      {raw_char('\r'), KeyKind::Enter, 0},
        {raw_char('\n'), KeyKind::Enter, 0},    {raw_char(' '), KeyKind::Space, 0},
        {raw_char(3), KeyKind::Interrupt, 0},   {raw_char('D'), KeyKind::Char, 'D'},
        {raw_char('6'), KeyKind::Char, '6'},
    };
    for (const auto& one : cases) {
        TerminalKey key{};
        ASSERT_TRUE(decode_single_key(one.raw, key)) << one.raw.code;
        EXPECT_EQ(key.kind, one.kind) << one.raw.code;
        EXPECT_EQ(key.ch, one.ch) << one.raw.code;
    }
    for (KeyKind kind : {KeyKind::F10, KeyKind::AltF4, KeyKind::Up, KeyKind::Left, KeyKind::BackTab, KeyKind::Enter,
                         KeyKind::Mouse, KeyKind::Resize}) {
        TerminalKey key{};
        ASSERT_TRUE(decode_single_key(raw_function_key(kind), key));
        EXPECT_EQ(key.kind, kind);
        EXPECT_EQ(key.ch, 0);
    }
    TerminalKey key{};
    EXPECT_FALSE(decode_single_key(raw_char(0x7F), key)) << "Delete is not used";
    EXPECT_FALSE(decode_single_key(raw_char(0xE9), key)) << "non-ASCII letters are no mnemonics";
    EXPECT_FALSE(decode_single_key(raw_timeout(), key));
}

TEST(TerminalKeys, EscapeThenACharacterIsAltALoneEscapeWaitsForTheTimeoutAndOtherKeysFollowIt)
{
    KeyDecoder decoder;
    EXPECT_TRUE(decoder.feed(raw_escape()).empty());
    EXPECT_TRUE(decoder.escape_pending());
    const std::vector<TerminalKey> alt = decoder.feed(raw_char('d'));
    ASSERT_EQ(alt.size(), 1u);
    EXPECT_EQ(alt[0].kind, KeyKind::AltChar);
    EXPECT_EQ(alt[0].ch, 'd');
    EXPECT_FALSE(decoder.escape_pending());

    decoder.feed(raw_escape());
    EXPECT_EQ(kinds(decoder.feed(raw_timeout())), std::vector<KeyKind>({KeyKind::Escape}));
    EXPECT_TRUE(decoder.feed(raw_timeout()).empty()) << "a timeout alone is no key";

    decoder.feed(raw_escape());
    EXPECT_EQ(kinds(decoder.feed(raw_function_key(KeyKind::F10))), std::vector<KeyKind>({KeyKind::Escape, KeyKind::F10}));
    decoder.feed(raw_escape());
    EXPECT_EQ(kinds(decoder.feed(raw_char('\r'))), std::vector<KeyKind>({KeyKind::Escape, KeyKind::Enter}));
    decoder.feed(raw_escape());
    EXPECT_EQ(kinds(decoder.feed(raw_escape())), std::vector<KeyKind>({KeyKind::Escape}));
    EXPECT_TRUE(decoder.escape_pending()) << "the second ESC may still start an Alt key";
    EXPECT_EQ(kinds(decoder.feed(raw_char('x'))), std::vector<KeyKind>({KeyKind::AltChar}));
}

}  // namespace
