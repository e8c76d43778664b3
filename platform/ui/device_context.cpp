// Device contexts, pens, bitmaps selected into memory contexts, colours.
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr COLORREF window_colour = 0xFFFFFF;
constexpr COLORREF window_text_colour = 0x000000;
constexpr COLORREF button_face_colour = 0xC0C0C0;
constexpr COLORREF grey_text_colour = 0x808080;
constexpr int color_graytext = 17;

uintptr_t stock_object(UiState& state, uintptr_t* slot, GdiKind kind)
{
    if (*slot == 0) {
        *slot = ui_new_handle(state);
        UiGdiObject object;
        object.kind = kind;
        object.stock = true;
        state.objects[*slot] = object;
    }
    return *slot;
}

HDC new_dc(UiState& state, HWND window, bool memory)
{
    UiDc dc;
    dc.window = window;
    dc.memory = memory;
    dc.bitmap = handle_of<HGDIOBJ>(stock_object(state, &state.stock_bitmap, GdiKind::Bitmap));
    dc.pen = handle_of<HGDIOBJ>(stock_object(state, &state.stock_pen, GdiKind::Pen));
    const uintptr_t key = ui_new_handle(state);
    state.dcs[key] = dc;
    return handle_of<HDC>(key);
}

// A new context, or nullptr with code as the last error when the handle it is
// asked for is not there.
HDC new_dc_unless_missing(UiState& state, bool handle_missing, DWORD code, HWND window, bool memory)
{
    if (handle_missing) {
        fail_with(code);
        return nullptr;
    }
    return new_dc(state, window, memory);
}

bool selected_anywhere(const UiState& state, HGDIOBJ object)
{
    for (const auto& [key, dc] : state.dcs) {
        if (dc.bitmap == object || dc.pen == object) {
            return true;
        }
    }
    return false;
}

}  // namespace

HDC ui_open_dc(UiState& state, HWND window)
{
    return new_dc(state, window, false);
}

DWORD WINAPI GetSysColor(int nIndex)
{
    switch (nIndex) {
    case COLOR_WINDOW:
        return window_colour;
    case COLOR_WINDOWTEXT:
        return window_text_colour;
    case COLOR_BTNFACE:
        return button_face_colour;
    case color_graytext:
        return grey_text_colour;
    default:
        return 0;
    }
}

HDC WINAPI GetDC(HWND hWnd)
{
    UiLock lock;
    const bool missing = hWnd != nullptr && ui_find_window(lock.state, hWnd) == nullptr;
    return new_dc_unless_missing(lock.state, missing, ERROR_INVALID_WINDOW_HANDLE, hWnd, false);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    UiLock lock;
    const UiDc* dc = ui_find_dc(lock.state, hDC);
    if (dc == nullptr || dc->memory || dc->window != hWnd) {
        return 0;
    }
    lock.state.dcs.erase(key_of(hDC));
    return 1;
}

HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    UiLock lock;
    const bool missing = hdc != nullptr && ui_find_dc(lock.state, hdc) == nullptr;
    return new_dc_unless_missing(lock.state, missing, ERROR_INVALID_HANDLE, nullptr, true);
}

BOOL WINAPI DeleteDC(HDC hdc)
{
    UiLock lock;
    const UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr || !dc->memory) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    lock.state.dcs.erase(key_of(hdc));
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    UiLock lock;
    UiDc* dc = ui_find_dc(lock.state, hdc);
    const UiGdiObject* object = ui_find_object(lock.state, h);
    if (dc == nullptr || object == nullptr) {
        fail_with(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ* slot = object->kind == GdiKind::Bitmap ? &dc->bitmap : &dc->pen;
    if (object->kind == GdiKind::Bitmap && !dc->memory) {
        // Only memory contexts take bitmaps.
        fail_with(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HGDIOBJ previous = *slot;
    *slot = h;
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    UiLock lock;
    const UiGdiObject* object = ui_find_object(lock.state, ho);
    if (object == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    if (object->stock) {
        return TRUE;
    }
    if (selected_anywhere(lock.state, ho)) {
        return FALSE;
    }
    lock.state.objects.erase(key_of(ho));
    return TRUE;
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color)
{
    (void)iStyle;
    (void)cWidth;
    (void)color;
    UiLock lock;
    const uintptr_t key = ui_new_handle(lock.state);
    lock.state.objects[key] = UiGdiObject{};
    return handle_of<HPEN>(key);
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    UiLock lock;
    UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr) {
        fail_with(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;  // CLR_INVALID
    }
    const COLORREF previous = dc->text;
    dc->text = color;
    return previous;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    UiLock lock;
    UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr) {
        fail_with(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    const COLORREF previous = dc->back;
    dc->back = color;
    return previous;
}

CellTone ui_tone_for(COLORREF text, COLORREF back)
{
    if (text == RGB(255, 0, 0)) {
        return CellTone::Red;
    }
    if (text == grey_text_colour) {
        return CellTone::Dim;
    }
    if (back == window_text_colour && text != window_text_colour) {
        return CellTone::Reverse;
    }
    return CellTone::Normal;
}
