// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAbout.h"

#include "about/core/AboutText.h"
#include "runner/win32/WideText.h"
#include "resources/win32/ResourceIds.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

namespace gv::win32 {

namespace {

// The window was designed in twips; 15 of them make a pixel at 96 dpi.
RECT twips(int left, int top, int width, int height)
{
    return RECT{left / 15, top / 15, (left + width) / 15, (top + height) / 15};
}

enum class Link { None, HomePage, DefsList, Feed };

// A piece the window draws itself: a picture or a label.
struct Piece {
    RECT rect;
    HBITMAP picture = nullptr;
    std::wstring text{};
    HFONT font = nullptr;
    COLORREF colour = 0;
    bool wrap = false;
    bool opaque = false;
    Link link = Link::None;
    std::wstring tip{};
};

struct AboutState {
    HINSTANCE instance = nullptr;
    std::function<void(const std::string&)> openLink;
    std::vector<Piece> pieces;
    std::vector<HFONT> fonts;
    std::vector<HBITMAP> pictures;
    HWND text1 = nullptr;
    HWND tips = nullptr;
    bool closed = false;

    HFONT font(double points, bool bold, bool underline)
    {
        HFONT f = CreateFontW(-int(std::lround(points * 96.0 / 72.0)), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                              underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
        fonts.push_back(f);
        return f;
    }
    HBITMAP picture(int id)
    {
        auto* b = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (b)
            pictures.push_back(b);
        return b;
    }
    ~AboutState()
    {
        for (HFONT f : fonts)
            DeleteObject(f);
        for (HBITMAP b : pictures)
            DeleteObject(b);
    }
};

void build(HWND window, AboutState& s)
{
    HFONT plain = s.font(8.25, false, false);
    const COLORREF linkBlue = RGB(0, 0, 192);
    HDC screen = GetDC(nullptr);
    // An auto-sized label takes the size of its one line of text.
    auto fit = [screen](Piece& p) {
        HGDIOBJ old = SelectObject(screen, p.font);
        SIZE size{};
        GetTextExtentPoint32W(screen, p.text.c_str(), int(p.text.size()), &size);
        SelectObject(screen, old);
        p.rect.right = std::max<LONG>(p.rect.right, p.rect.left + size.cx);
        p.rect.bottom = std::max<LONG>(p.rect.bottom, p.rect.top + size.cy);
    };
    auto add = [&](RECT rect, const char* text, HFONT f, COLORREF colour = RGB(0, 0, 0)) -> Piece& {
        s.pieces.push_back(Piece{rect, nullptr, Widen(text), f, colour});
        return s.pieces.back();
    };

    // Back to front: the word "GUI" lies on the upper logo, and the bold
    // name shares the first line of the paragraph that leaves it room.
    s.pieces.push_back(Piece{twips(6210, 300, 990, 780), s.picture(GV_IDB_LOGO)});
    s.pieces.push_back(Piece{twips(6255, 2025, 990, 780), s.picture(GV_IDB_LOGO2)});
    add(twips(90, 270, 5805, 1035), about::kAboutProgram, plain).wrap = true;
    fit(add(twips(105, 270, 780, 195), "GUI-Vonk", s.font(8.25, true, false)));
    Piece& name = add(twips(75, 1335, 540, 300), "Vonk", s.font(12, true, false));
    fit(name);
    const LONG nameEnd = name.rect.right;
    Piece& home = add(twips(690, 1395, 795, 195), "home page", s.font(8.25, false, true), linkBlue);
    home.link = Link::HomePage;
    home.tip = L"home page di voNK";
    fit(home);
    // A stand-in face wider than the designed one must not run the name
    // into the link beside it.
    if (home.rect.left < nameEnd + 2)
        OffsetRect(&home.rect, nameEnd + 2 - home.rect.left, 0);
    add(twips(60, 1650, 5805, 825), about::kAboutIdentifier, plain).wrap = true;
    add(twips(75, 2520, 5805, 1035), about::kAboutDefinitions, plain).wrap = true;
    s.pieces.push_back(Piece{twips(90, 3690, 540, 210), s.picture(GV_IDB_FEED)});
    s.pieces.back().link = Link::Feed;
    s.pieces.back().tip = L"Feed aggiornato (click per collegarsi)";
    fit(add(twips(750, 3720, 2895, 180), "Vonk's Definitions DB changes log feed", plain));
    fit(add(twips(75, 3990, 4725, 195), "VonkDefs.VKD package, 326KB ZIP (3390 tipi di file, 28062008)", plain));
    // The only label with a background of its own: the form's colour.
    Piece& defs = add(twips(4905, 3990, 1380, 210), "File extension defs", s.font(8.25, false, true), linkBlue);
    defs.opaque = true;
    defs.link = Link::DefsList;
    defs.tip = L"vai alla pagina definizioni [on line]";
    fit(add(twips(6360, 630, 675, 435), "GUI", s.font(18, true, false), RGB(255, 255, 255)));
    ReleaseDC(nullptr, screen);

    std::wstring terms;
    for (const wchar_t c : Widen(about::kAboutTerms))
        terms += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    const RECT t = twips(105, 4335, 6615, 855);
    s.text1 = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", terms.c_str(),
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY
                                  | ES_AUTOVSCROLL,
                              t.left, t.top, t.right - t.left, t.bottom - t.top, window, nullptr, s.instance, nullptr);
    SendMessageW(s.text1, WM_SETFONT, reinterpret_cast<WPARAM>(plain), FALSE);

    s.tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, s.instance,
                             nullptr);
    for (size_t i = 0; i < s.pieces.size(); ++i) {
        if (s.pieces[i].tip.empty())
            continue;
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE; // a size every version of the common controls takes
        info.uFlags = TTF_SUBCLASS;
        info.hwnd = window;
        info.uId = i + 1;
        info.rect = s.pieces[i].rect;
        info.lpszText = s.pieces[i].tip.data();
        SendMessageW(s.tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void paint(HDC dc, const AboutState& s, const RECT& client)
{
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    for (const Piece& p : s.pieces) {
        if (p.picture) {
            BITMAP info{};
            GetObjectW(p.picture, sizeof info, &info);
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, p.picture);
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(dc, p.rect.left, p.rect.top, info.bmWidth, info.bmHeight, source, 0, 0, info.bmWidth,
                       info.bmHeight, blend);
            SelectObject(source, old);
            DeleteDC(source);
        }
        if (p.text.empty())
            continue;
        RECT r = p.rect;
        if (p.opaque)
            FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        HGDIOBJ old = SelectObject(dc, p.font);
        SetTextColor(dc, p.colour);
        DrawTextW(dc, p.text.c_str(), int(p.text.size()), &r,
                  DT_LEFT | DT_TOP | DT_NOPREFIX | (p.wrap ? DT_WORDBREAK : DT_SINGLELINE));
        SelectObject(dc, old);
    }
}

const Piece* linkAt(const AboutState& s, POINT point)
{
    for (auto it = s.pieces.rbegin(); it != s.pieces.rend(); ++it) {
        if (it->link != Link::None && PtInRect(&it->rect, point))
            return &*it;
    }
    return nullptr;
}

LRESULT CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* s = reinterpret_cast<AboutState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        s = static_cast<AboutState*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
        break;
    case WM_CREATE:
        build(window, *s);
        return 0;
    case WM_ERASEBKGND:
        return 1;

    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client{};
        GetClientRect(window, &client);
        HDC buffer = CreateCompatibleDC(dc);
        HBITMAP bits = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(buffer, bits);
        paint(buffer, *s, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, old);
        DeleteObject(bits);
        DeleteDC(buffer);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SETCURSOR: {
        POINT point{};
        GetCursorPos(&point);
        ScreenToClient(window, &point);
        if (LOWORD(lParam) == HTCLIENT && linkAt(*s, point)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_LBUTTONUP: {
        // The description paragraph shares the home page's handler but
        // opens nothing: only the three links react.
        const Piece* p = linkAt(*s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (p && s->openLink) {
            s->openLink(p->link == Link::HomePage   ? about::kHomePage
                        : p->link == Link::DefsList ? about::kDefsListPage
                                                    : about::kChangeLogFeed);
        }
        return 0;
    }
    case WM_CLOSE:
        s->closed = true;
        DestroyWindow(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void frmAbout::showModalAbout(HINSTANCE instance, HWND owner, std::function<void(const std::string&)> openLink)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = aboutProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(GV_IDI_PROGRAM), IMAGE_ICON, 32, 32, 0));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    AboutState state;
    state.instance = instance;
    state.openLink = std::move(openLink);
    // Fixed size with the system close box only; the client area is the
    // designed one, centred on the screen.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    std::wstring caption = Widen(about::kCaption);
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, caption.c_str(), style, x, y, w, h, owner, nullptr,
                                  instance, &state);
    if (!window)
        return;
    if (owner)
        EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (!state.closed && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (owner) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}

} // namespace gv::win32
