#include "platform/ui/dialog_template.h"

#include <cstring>

#include "platform/ui/utf8.h"

namespace {

constexpr WORD ordinal_marker = 0xFFFF;

struct Reader {
    const unsigned char* base;
    size_t limit;
    size_t offset = 0;
    bool ok = true;

    bool has(size_t count) const { return ok && offset <= limit && limit - offset >= count; }

    WORD word()
    {
        if (!has(2)) {
            ok = false;
            return 0;
        }
        WORD value = 0;
        std::memcpy(&value, base + offset, 2);
        offset += 2;
        return value;
    }

    template <typename Record>
    Record record()
    {
        Record value{};
        if (!has(sizeof(Record))) {
            ok = false;
            return value;
        }
        std::memcpy(&value, base + offset, sizeof(Record));
        offset += sizeof(Record);
        return value;
    }

    // A zero-terminated UTF-16 string, as UTF-8.
    std::string text()
    {
        std::string out;
        for (;;) {
            const WORD unit = word();
            if (!ok || unit == 0) {
                return out;
            }
            char32_t ch = unit;
            if (unit >= 0xD800 && unit < 0xDC00) {
                const WORD low = word();
                ch = (low >= 0xDC00 && low < 0xE000)
                         ? 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00)
                         : U'\uFFFD';
                if (low == 0) {
                    out += utf8_encode(ch);
                    return out;
                }
            }
            out += utf8_encode(ch);
        }
    }

    // 0x0000 (none), 0xFFFF followed by an ordinal, or a string.
    std::string name_or_ordinal()
    {
        if (!has(2)) {
            ok = false;
            return std::string();
        }
        WORD first = 0;
        std::memcpy(&first, base + offset, 2);
        if (first == 0) {
            offset += 2;
            return std::string();
        }
        if (first == ordinal_marker) {
            offset += 2;
            return "#" + std::to_string(word());
        }
        return text();
    }

    void align_to_dword() { offset = (offset + 3) & ~static_cast<size_t>(3); }
};

std::string item_class(const std::string& name)
{
    static const char* const atoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    for (WORD atom = 0x80; atom <= 0x85; ++atom) {
        if (name == "#" + std::to_string(atom)) {
            return atoms[atom - 0x80];
        }
    }
    return name;
}

// DLGTEMPLATE and DLGITEMTEMPLATE carry these fields under the same names.
template <typename Header>
void read_window_fields(const Header& header, DialogWindowFields* fields)
{
    fields->style = header.style;
    fields->ex_style = header.dwExtendedStyle;
    fields->x = header.x;
    fields->y = header.y;
    fields->cx = header.cx;
    fields->cy = header.cy;
}

DialogItem read_item(Reader* reader)
{
    reader->align_to_dword();
    const DLGITEMTEMPLATE header = reader->record<DLGITEMTEMPLATE>();
    DialogItem item;
    read_window_fields(header, &item);
    item.id = header.id;
    item.class_name = item_class(reader->name_or_ordinal());
    item.text = reader->name_or_ordinal();
    item.creation_data_size = reader->word();
    // The size word counts itself when data follows.
    if (item.creation_data_size > 2) {
        const size_t data = item.creation_data_size - 2u;
        if (!reader->has(data)) {
            reader->ok = false;
        } else {
            reader->offset += data;
        }
    }
    return item;
}

}  // namespace

BOOL parse_dialog_template(const void* bytes, size_t limit, DialogTemplate* out)
{
    if (bytes == nullptr || out == nullptr) {
        return FALSE;
    }
    Reader reader{static_cast<const unsigned char*>(bytes), limit};
    const DLGTEMPLATE header = reader.record<DLGTEMPLATE>();
    DialogTemplate parsed;
    read_window_fields(header, &parsed);
    parsed.menu = reader.name_or_ordinal();
    parsed.class_name = reader.name_or_ordinal();
    parsed.title = reader.text();
    if ((header.style & DS_SETFONT) != 0) {
        reader.word();
        reader.text();
    }
    for (WORD i = 0; i < header.cdit && reader.ok; ++i) {
        parsed.items.push_back(read_item(&reader));
    }
    if (!reader.ok) {
        return FALSE;
    }
    *out = std::move(parsed);
    return TRUE;
}
