// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmDOSOutput.h"

#include "WideText.h"
#include "winhelpers/win32/FileHelpersWin32.h"
#include "mainwindow/core/DesignTable.h"
#include "resources/win32/ResourceIds.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <utility>

#ifndef GV_VERSION_MAJOR
#error "GV_VERSION_MAJOR, GV_VERSION_MINOR and GV_VERSION_TWEAK come from the project's version"
#endif

namespace gv::win32 {

namespace d = gv::design;

namespace {

enum ControlId : int {
    idText1 = 100,
    idCheck2,
    idCheck1,
    idCkVerbose,
    idTxtCartella,
    idOption1First, // .. +4
    idTxtFile = idOption1First + 5,
    idCmdFile,
    idCmdCartella,
    idTxtCommand,
    idCmdExit,
    idTxtOutputs,
    idCmdExecute,
    idCmdStop,
    idLabel3,
    idLabel2_0,
    idLblControl,
};

// The runner's reading thread says that output (or its end) is waiting.
constexpr UINT kOutputPending = WM_APP + 1;
// A drop's request runs once the drop is over, so the program the item
// was dragged from is not held waiting for the answer.
constexpr UINT kDropRequest = WM_APP + 3;
// The About window opens once the click that asked for it is over.
constexpr UINT kShowAbout = WM_APP + 4;

constexpr int kDialogShift = 30;
constexpr unsigned kConfirmStyle = MB_SYSTEMMODAL | MB_ICONINFORMATION | MB_YESNO;

COLORREF rgb(d::Rgb c)
{
    return RGB(c.r, c.g, c.b);
}

RECT pixelRect(d::Twips t, int dx = 0, int dy = 0)
{
    const int left = d::pixels(t.left) + dx;
    const int top = d::pixels(t.top) + dy;
    return RECT{left, top, left + d::pixels(t.width), top + d::pixels(t.height)};
}

int width(const RECT& r)
{
    return r.right - r.left;
}

int height(const RECT& r)
{
    return r.bottom - r.top;
}

// Draws a 32-bit picture with premultiplied alpha; stretched to the rect,
// or at its own size from the rect's top-left, clipped to the rect.
void drawPicture(HDC dc, HBITMAP picture, const RECT& rect, bool stretch)
{
    BITMAP info{};
    if (!picture || !GetObjectW(picture, sizeof info, &info))
        return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, picture);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (stretch) {
        AlphaBlend(dc, rect.left, rect.top, width(rect), height(rect), source, 0, 0, info.bmWidth, info.bmHeight, blend);
    } else {
        const int w = std::min<int>(info.bmWidth, width(rect));
        const int h = std::min<int>(info.bmHeight, height(rect));
        if (w > 0 && h > 0)
            AlphaBlend(dc, rect.left, rect.top, w, h, source, 0, 0, w, h, blend);
    }
    SelectObject(source, old);
    DeleteDC(source);
}

} // namespace

frmDOSOutput::frmDOSOutput(HINSTANCE instance, WindowServices services, std::unique_ptr<ProgramLife> life)
    : m_instance(instance)
    , m_services(std::move(services))
    , m_life(std::move(life))
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &frmDOSOutput::windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(GV_IDI_PROGRAM));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(GV_IDI_PROGRAM), IMAGE_ICON, 16, 16, 0));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    // Centre of the screen; no system frame, so the window is its client.
    const int x = (GetSystemMetrics(SM_CXSCREEN) - d::kClientWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - d::kClientHeight) / 2;
    CreateWindowExW(WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT, kClassName, Widen(d::kCaption).c_str(),
                    WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, x, y, d::kClientWidth,
                    d::kClientHeight, nullptr, nullptr, instance, this);
}

frmDOSOutput::~frmDOSOutput()
{
    // The command goes before the files it may be using.
    if (m_objDOS)
        m_objDOS->StopAndWait();
    m_objDOS.reset();
    m_life.reset();
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    for (HFONT f : m_fonts)
        DeleteObject(f);
    for (HBITMAP b : m_pictures)
        DeleteObject(b);
    if (m_consoleBrush)
        DeleteObject(m_consoleBrush);
    if (m_redBrush)
        DeleteObject(m_redBrush);
}

LRESULT CALLBACK frmDOSOutput::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<frmDOSOutput*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<frmDOSOutput*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
    }
    return result;
}

HFONT frmDOSOutput::font(const char* face, double points, bool bold, bool underline, bool fixed)
{
    const int pixelHeight = -int(std::lround(points * 96.0 / 72.0));
    HFONT f = CreateFontW(pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          fixed ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE, Widen(face).c_str());
    m_fonts.push_back(f);
    return f;
}

frmDOSOutput::Piece& frmDOSOutput::piece(const char* name)
{
    for (Piece& p : m_pieces) {
        if (std::string_view(p.name) == name)
            return p;
    }
    // Every name asked for is one buildPieces() made.
    return m_pieces.front();
}

void frmDOSOutput::buildDesign()
{
    m_consoleBrush = CreateSolidBrush(rgb(d::kConsoleBack));
    m_redBrush = CreateSolidBrush(rgb(d::kRed));
    m_formFont = font(d::kFormFont.face, d::kFormFont.points, false, false);
    buildPieces();
    buildControls();
    buildTips();
}

void frmDOSOutput::buildPieces()
{
    auto picture = [this](int id) {
        auto* b = static_cast<HBITMAP>(
            LoadImageW(m_instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (b)
            m_pictures.push_back(b);
        return b;
    };
    // Frame pieces first: everything else is drawn over them.
    static const char* const kImageNames[10] = {"Image1", "Image2", "Image3", "Image4", "Image5",
                                                "Image6", "Image7", "Image8", "Image9", "Image10"};
    for (const int i : {0, 2, 1, 5, 6, 3, 4, 7, 8, 9}) {
        Piece p{kImageNames[i], pixelRect(d::kImage[i])};
        p.picture = picture(GV_IDB_FRAME_FIRST + i);
        p.stretch = d::kImageStretched[i];
        m_pieces.push_back(p);
    }

    // An auto-sized label takes the size of its one line, from its
    // designed top-left.
    HDC screen = GetDC(nullptr);
    auto label = [&](const char* name, d::Twips place, const std::string& text, d::Font f, d::Rgb colour,
                     bool autoSize, const char* tip, POINT offset = {0, 0}) {
        Piece p{name, pixelRect(place, offset.x, offset.y)};
        p.text = Widen(text);
        p.font = font(f.face, f.points, f.bold, f.underline);
        p.colour = rgb(colour);
        if (tip)
            p.tip = Widen(tip);
        if (autoSize) {
            HGDIOBJ old = SelectObject(screen, p.font);
            SIZE size{};
            GetTextExtentPoint32W(screen, p.text.c_str(), int(p.text.size()), &size);
            SelectObject(screen, old);
            p.rect.right = p.rect.left + size.cx;
            p.rect.bottom = p.rect.top + size.cy;
        }
        m_pieces.push_back(p);
        return &m_pieces.back();
    };

    label("LabelTOP", d::kLabelTOP, "OEM", d::kTitleFont, d::kTitleOrange, false, nullptr);
    // Title-bar hot spots: only the minimise spot draws a glyph.
    m_pieces.push_back(Piece{"Label7", pixelRect(d::kLabel7)});
    m_pieces.back().tip = Widen(d::kLabel7Tip);
    m_pieces.push_back(Piece{"Label9", pixelRect(d::kLabel9)});
    m_pieces.back().tip = Widen(d::kLabel9Tip);
    m_pieces.push_back(Piece{"Label8", pixelRect(d::kLabel8)});
    m_pieces.back().tip = Widen(d::kLabel8Tip);
    m_pieces.push_back(Piece{"Label2_4", pixelRect(d::kLabel2_4)});
    m_pieces.back().tip = Widen(d::kLabel2_4Tip);
    m_pieces.back().picture = picture(GV_IDB_MINIMISE);

    // The header panel: its sunken edge, the logo and the large word.
    m_pieces.push_back(Piece{"Picture1", pixelRect(d::kPicture1)});
    const POINT panel{d::pixels(d::kPicture1.left), d::pixels(d::kPicture1.top)};
    m_pieces.push_back(Piece{"Image78", pixelRect(d::kImage78, panel.x, panel.y)});
    m_pieces.back().picture = picture(GV_IDB_LOGO);
    label("Label6", d::kLabel6, d::kLabel6Text, d::kHeaderWordFont, d::kWhite, true, nullptr, panel);

    label("Label1", d::kLabel1, d::kLabel1Text, d::kRedLineFont, d::kRed, true, nullptr);
    // Lumetra sits in the thanks line's gap, over it.
    label("Label5", d::kLabel5, d::kLabel5Text, d::kDistributionFont, d::kRed, true,
          (std::string(d::kDistributionHomePage) + d::kLabel5TipTail).c_str());
    label("Label2_3", d::kLabel2_3, std::string(d::kIdentifierAuthorMail) + d::kLabel2_3Tail, d::kLinkFont,
          d::kLinkBlue, true, d::kLabel2_3Tip)->cursor = IDC_UPARROW;
    label("Label2_2", d::kLabel2_2, std::string(d::kProgramAuthorMail) + d::kLabel2_2Tail, d::kLinkFont,
          d::kLinkBlue, true, d::kLabel2_2Tip)->cursor = IDC_UPARROW;
    label("Label2_1", d::kLabel2_1, d::kLabel2_1Text, d::kLinkFont, d::kAboutBlue, true, d::kLabel2_1Tip)->cursor =
        IDC_UPARROW;
    label("Label4", d::kLabel4, d::kLabel4Text, d::kRedLineFont, d::kRed, true, nullptr);
    ReleaseDC(nullptr, screen);
}

HWND frmDOSOutput::makeControl(const wchar_t* type, const std::string& text, DWORD style, const RECT& rect, int id,
                               HFONT f, DWORD exStyle)
{
    HWND control = CreateWindowExW(exStyle, type, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, rect.left,
                                   rect.top, width(rect), height(rect), m_hwnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(f ? f : m_formFont), FALSE);
    return control;
}

void frmDOSOutput::buildControls()
{
    HFONT formFont = m_formFont;
    const POINT panel{d::pixels(d::kPicture1.left), d::pixels(d::kPicture1.top)};
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;

    // Created in the designed tab order.
    m_cmdExecute = makeControl(L"BUTTON", d::kCmdExecuteText, WS_TABSTOP | BS_DEFPUSHBUTTON, pixelRect(d::kCmdExecute),
                               idCmdExecute, formFont);
    ShowWindow(m_cmdExecute, SW_HIDE);
    m_txtOutputs = makeControl(L"EDIT", "",
                               WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL
                                   | ES_AUTOHSCROLL | ES_NOHIDESEL,
                               pixelRect(d::kTxtOutputs), idTxtOutputs,
                               font(d::kConsoleFont.face, d::kConsoleFont.points, false, false, true), WS_EX_CLIENTEDGE);
    // A report can be many megabytes.
    SendMessageW(m_txtOutputs, EM_SETLIMITTEXT, 0, 0);
    setConsoleText(d::kIdleLine);
    m_cmdExit = makeControl(L"BUTTON", d::kCmdExitText, button, pixelRect(d::kCmdExit), idCmdExit,
                            font(d::kBoldButtonFont.face, d::kBoldButtonFont.points, true, false));
    RECT command = pixelRect(d::kTxtCommand);
    command.bottom += 120; // the list's drop-down height
    m_txtCommand = makeControl(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, command,
                               idTxtCommand, font(d::kCommandFont.face, d::kCommandFont.points, true, false, true));
    for (const char* preset : d::kCommandPresets)
        SendMessageW(m_txtCommand, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(preset).c_str()));
    SetWindowTextW(m_txtCommand, Widen(std::string(d::kCommandIntro) + d::kContactPage).c_str());
    EnableWindow(m_txtCommand, FALSE);
    m_cmdCartella = makeControl(L"BUTTON", d::kCmdCartellaText, button, pixelRect(d::kCmdCartella), idCmdCartella);
    m_cmdFile = makeControl(L"BUTTON", d::kCmdFileText, button, pixelRect(d::kCmdFile), idCmdFile);
    m_txtFile = makeControl(L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, pixelRect(d::kTxtFile), idTxtFile, nullptr,
                            WS_EX_CLIENTEDGE);
    for (const int i : {4, 3, 0, 1, 2}) {
        const d::Twips place{d::kOption1Left, d::kOption1Top[i], d::kOption1Width, d::kOption1Height};
        m_Option1[size_t(i)] = makeControl(L"BUTTON", d::kOption1Design,
                                           WS_TABSTOP | BS_AUTORADIOBUTTON | (i == 4 ? WS_GROUP : 0), pixelRect(place),
                                           idOption1First + i);
    }
    m_txtCartella = makeControl(L"EDIT", "", WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL, pixelRect(d::kTxtCartella),
                                idTxtCartella, nullptr, WS_EX_CLIENTEDGE);
    m_ckVerbose = makeControl(L"BUTTON", d::kCkVerboseText, WS_TABSTOP | BS_AUTOCHECKBOX, pixelRect(d::kCkVerbose),
                              idCkVerbose);
    m_Check1 = makeControl(L"BUTTON", d::kCheck1Text, WS_TABSTOP | BS_AUTOCHECKBOX, pixelRect(d::kCheck1), idCheck1);
    m_Check2 = makeControl(L"BUTTON", d::kCheck2Text, WS_TABSTOP | BS_AUTOCHECKBOX, pixelRect(d::kCheck2), idCheck2);
    EnableWindow(m_Check2, FALSE);
    // The description keeps its paragraphs on lines of their own.
    std::string description;
    for (const char* c = d::kDescription; *c; ++c)
        description += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    m_Text1 = makeControl(L"EDIT", description,
                          WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                          pixelRect(d::kText1, panel.x, panel.y), idText1);
    m_cmdStop = makeControl(L"BUTTON", d::kCmdStopText, button, pixelRect(d::kCmdStop), idCmdStop,
                            font(d::kBoldButtonFont.face, d::kBoldButtonFont.points, true, false));
    ShowWindow(m_cmdStop, SW_HIDE);
    m_Label3 = makeControl(L"STATIC", d::kLabel3Text, SS_NOPREFIX, pixelRect(d::kLabel3), idLabel3);
    m_Label2_0 = makeControl(L"STATIC", d::kLabel2_0Text, SS_NOPREFIX, pixelRect(d::kLabel2_0), idLabel2_0);
    m_lblControl = makeControl(L"STATIC", "-", SS_NOPREFIX, pixelRect(d::kLblControl), idLblControl);
}

void frmDOSOutput::buildTips()
{
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr, m_instance,
                             nullptr);
    auto addControl = [this](HWND control, const char* tip) {
        std::wstring text = Widen(tip);
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE; // a size every version of the common controls takes
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = m_hwnd;
        info.uId = reinterpret_cast<UINT_PTR>(control);
        info.lpszText = text.data();
        SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    };
    addControl(m_ckVerbose, d::kCkVerboseTip);
    addControl(m_cmdFile, d::kCmdFileTip);
    addControl(m_cmdCartella, d::kCmdCartellaTip);
    addControl(m_cmdExit, d::kCmdExitTip);
    addControl(m_txtOutputs, d::kTxtOutputsTip);
    addControl(m_cmdStop, d::kCmdStopTip);
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        Piece& p = m_pieces[i];
        if (p.tip.empty())
            continue;
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE; // a size every version of the common controls takes
        info.uFlags = TTF_SUBCLASS;
        info.hwnd = m_hwnd;
        info.uId = i + 1;
        info.rect = p.rect;
        info.lpszText = p.tip.data();
        SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

bool frmDOSOutput::Form_Load()
{
    if (m_loaded)
        return true;
    m_loaded = true;

    // A second copy says so and touches nothing.
    if (m_life && !m_life->claimInstance()) {
        m_services.box(nullptr, d::kAlreadyRunning, MB_ICONEXCLAMATION, "");
        return false;
    }

    // The flat look for every command button; it also shows the default
    // button again (beyond the right edge, but Enter reaches it). Stop
    // looks the same but shows only while a run lasts.
    for (HWND b : {m_cmdFile, m_cmdCartella, m_cmdExit, m_cmdExecute, m_cmdStop})
        MakeControlFlat(b);
    ShowWindow(m_cmdStop, SW_HIDE);

    Check2_Click();

    piece("LabelTOP").text = Widen(titleText());

    m_objDOS = std::make_unique<DOSOutputs>();
    m_objDOS->setListener(this);
    m_objDOS->setMessageSink(this);
    HWND window = m_hwnd;
    // Called on the reading thread: only a message crosses over.
    m_objDOS->setChunkNotifier([window] { PostMessageW(window, kOutputPending, 0, 0); });

    if (m_life && !m_life->deploy()) {
        m_services.box(nullptr, d::kAlreadyRunning, MB_ICONEXCLAMATION, "");
        return false;
    }
    // Command lines name the identifier without a folder: they start where
    // it was written, and the interpreter finds it there.
    if (m_life)
        m_objDOS->setWorkingDirectory(m_life->identifierFolder());

    for (int i = 0; i < 5; ++i)
        SetWindowTextW(m_Option1[size_t(i)], Widen(d::kPlacementNames[i]).c_str());
    SendMessageW(m_Option1[4], BM_SETCHECK, BST_CHECKED, 0);

    Form_Resize();
    InvalidateRect(m_hwnd, nullptr, TRUE);
    return true;
}

std::string frmDOSOutput::titleText()
{
    // The third field of the version (build) is not shown.
    return std::string(d::kFileDescription) + " Version: " + std::to_string(GV_VERSION_MAJOR) + "."
        + std::to_string(GV_VERSION_MINOR) + "." + std::to_string(GV_VERSION_TWEAK) + " by Vessandro";
}

void frmDOSOutput::Form_Resize()
{
    // Frame pieces follow the edges; nothing else moves. Sizes are read
    // afresh at every step, as the pieces depend on each other (the bottom
    // pieces all take Image4's height).
    RECT client{};
    GetClientRect(m_hwnd, &client);
    const int W = width(client);
    const int H = height(client);
    auto moveTo = [](Piece& p, int left, int top) {
        OffsetRect(&p.rect, left - p.rect.left, top - p.rect.top);
    };
    Piece& image1 = piece("Image1");
    Piece& image3 = piece("Image3");
    Piece& image4 = piece("Image4");
    Piece& image5 = piece("Image5");
    Piece& image6 = piece("Image6");
    Piece& image7 = piece("Image7");
    Piece& image8 = piece("Image8");
    Piece& image9 = piece("Image9");
    Piece& title = piece("LabelTOP");
    moveTo(image6, W - width(image6.rect), image6.rect.top);
    moveTo(image4, image4.rect.left, H - height(image4.rect));
    moveTo(image7, image7.rect.left, H - height(image4.rect));
    moveTo(image5, image5.rect.left, H - height(image4.rect));
    image6.rect.bottom = image6.rect.top + H;
    moveTo(image5, W - width(image5.rect), image5.rect.top);
    image7.rect.right = image7.rect.left + W;
    image3.rect.bottom = image3.rect.top + H;
    moveTo(image9, W - width(image9.rect), image9.rect.top);
    title.rect.right = title.rect.left + W;
    image1.rect.right = image1.rect.left + W;
    moveTo(image8, W - width(image8.rect) - d::pixels(d::kImage8Gap), image8.rect.top);
}

void frmDOSOutput::paint(HDC dc)
{
    RECT client{};
    GetClientRect(m_hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    const int titleRight = piece("Label2_4").rect.left - 4;
    for (const Piece& p : m_pieces) {
        if (std::string_view(p.name) == "Picture1") {
            RECT edge = p.rect;
            DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
            continue;
        }
        if (p.picture)
            drawPicture(dc, p.picture, p.rect, p.stretch);
        if (!p.text.empty()) {
            RECT r = p.rect;
            // The title spans the strip, but its text stops short of the
            // first title-bar button instead of running under it.
            if (std::string_view(p.name) == "LabelTOP")
                r.right = std::min<LONG>(r.right, titleRight);
            HGDIOBJ old = SelectObject(dc, p.font);
            SetTextColor(dc, p.colour);
            DrawTextW(dc, p.text.c_str(), int(p.text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(dc, old);
        }
    }
}

frmDOSOutput::Piece* frmDOSOutput::pieceAt(POINT point)
{
    // Topmost first: the hot spots lie over the title label, Lumetra over
    // the thanks line.
    static const char* const kOrder[] = {"Label7", "Label9", "Label8", "Label2_4", "Label5", "Label2_1",
                                         "Label2_2", "Label2_3", "Label1", "LabelTOP", "Image10"};
    for (const char* name : kOrder) {
        Piece& p = piece(name);
        if (PtInRect(&p.rect, point))
            return &p;
    }
    return nullptr;
}

void frmDOSOutput::onClick(const Piece& p)
{
    const std::string_view name = p.name;
    if (name == "Label7") {
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    } else if (name == "Label5") {
        m_services.openLink(d::kDistributionHomePage);
    } else if (name == "Label2_1") {
        PostMessageW(m_hwnd, kShowAbout, 0, 0);
    } else if (name == "Label2_2") {
        m_services.openLink(std::string("mailto:") + d::kProgramAuthorMail);
    } else if (name == "Label2_3") {
        m_services.openLink(std::string("mailto:") + d::kIdentifierAuthorMail);
    } else if (name == "Label2_4") {
        // "Minimizza nella traybar": there is no tray icon to go to, so the
        // window is minimised as a user expects.
        ShowWindow(m_hwnd, SW_MINIMIZE);
    }
}

void frmDOSOutput::onDoubleClick(const Piece& p)
{
    const std::string_view name = p.name;
    if (name == "Image10")
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    else if (name == "Label1")
        m_services.openLink(std::string("mailto:") + d::kIdentifierAuthorMail);
}

void frmDOSOutput::Check2_Click()
{
    const LRESULT state = SendMessageW(m_Check2, BM_GETCHECK, 0, 0);
    if (state == BST_INDETERMINATE)
        return;
    SetWindowPos(m_hwnd, state == BST_CHECKED ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int frmDOSOutput::GetPlacementMode() const
{
    for (int i = 0; i < 5; ++i) {
        if (SendMessageW(m_Option1[size_t(i)], BM_GETCHECK, 0, 0) == BST_CHECKED)
            return i;
    }
    return 0;
}

bool frmDOSOutput::preTranslate(MSG& message)
{
    if (message.message != WM_KEYDOWN || !m_hwnd
        || (message.hwnd != m_hwnd && !IsChild(m_hwnd, message.hwnd)))
        return false;
    if (message.wParam == VK_ESCAPE) {
        if (m_running)
            cmdStop_Click();
        return true;
    }
    if (message.wParam != VK_RETURN)
        return false;
    // As in a dialog: a focused push button takes Enter itself, otherwise
    // the default button is pressed.
    HWND focused = GetFocus();
    for (HWND b : {m_cmdFile, m_cmdCartella, m_cmdExit, m_cmdStop}) {
        if (focused == b) {
            if (IsWindowEnabled(b) && IsWindowVisible(b))
                SendMessageW(b, BM_CLICK, 0, 0);
            return true;
        }
    }
    if (IsWindowVisible(m_cmdExecute) && IsWindowEnabled(m_cmdExecute))
        cmdExecute_Click();
    return true;
}

void frmDOSOutput::cmdExecute_Click()
{
    if (m_running || m_requests.refuseWithoutIdentifier() || !m_objDOS)
        return;
    m_running = true;
    m_stoppedByUser = false;
    EnableWindow(m_cmdExecute, FALSE);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (!m_objDOS->Start(Narrow(windowText(m_txtCommand)))) {
        // The runner has said why; the run ends as any other.
        runEnded();
        return;
    }
    ShowWindow(m_cmdStop, SW_SHOWNA);
}

void frmDOSOutput::cmdStop_Click()
{
    if (!m_running || !m_objDOS)
        return;
    m_stoppedByUser = true;
    m_objDOS->Stop();
}

void frmDOSOutput::ReceiveOutputs(const std::string& CommandOutputs)
{
    m_pending += CommandOutputs;
}

void frmDOSOutput::ShowRunnerFailure(const std::string& message)
{
    m_services.box(m_hwnd, message, MB_ICONERROR, "");
}

void frmDOSOutput::pumpOutput()
{
    // Notices that come while the run's last box is up find it ended.
    if (!m_running || m_ending || !m_objDOS)
        return;
    const bool goesOn = m_objDOS->PumpAvailable();
    // Everything read in one pass reaches the pane as one insertion.
    appendOutput(std::exchange(m_pending, std::string()));
    if (!goesOn)
        runEnded();
}

void frmDOSOutput::appendOutput(const std::string& chunk)
{
    const std::wstring text = Widen(m_lineEnds.toPane(chunk));
    if (text.empty())
        return;
    // At the end, without setting the whole text anew: the cost of a chunk
    // does not grow with the report. The caret follows the end.
    const int end = GetWindowTextLengthW(m_txtOutputs);
    SendMessageW(m_txtOutputs, EM_SETSEL, end, end);
    SendMessageW(m_txtOutputs, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(m_txtOutputs, EM_SCROLLCARET, 0, 0);
}

void frmDOSOutput::setConsoleText(const std::string& text)
{
    m_lineEnds.reset();
    SetWindowTextW(m_txtOutputs, Widen(m_lineEnds.toPane(text)).c_str());
    m_lineEnds.reset();
    const int end = GetWindowTextLengthW(m_txtOutputs);
    SendMessageW(m_txtOutputs, EM_SETSEL, end, end);
    SendMessageW(m_txtOutputs, EM_SCROLLCARET, 0, 0);
}

std::string frmDOSOutput::consoleText() const
{
    return Narrow(windowText(m_txtOutputs));
}

std::string frmDOSOutput::commandText() const
{
    return Narrow(windowText(m_txtCommand));
}

RECT frmDOSOutput::pieceRect(const char* name) const
{
    for (const Piece& p : m_pieces) {
        if (std::string_view(p.name) == name)
            return p.rect;
    }
    return RECT{};
}

void frmDOSOutput::runEnded()
{
    m_ending = true;
    appendOutput(std::exchange(m_pending, std::string()));
    m_lineEnds.reset();
    ShowWindow(m_cmdStop, SW_HIDE);
    if (m_stoppedByUser) {
        const std::string shown = consoleText();
        const bool atLineStart = shown.empty() || shown.back() == '\n';
        appendOutput(std::string(atLineStart ? "" : "\n") + d::kStoppedByUser + "\n");
        m_lineEnds.reset();
    }
    // The run still counts as running under its last box, so no request
    // can start meanwhile.
    m_services.box(m_hwnd, d::kReadComplete, MB_OK, "");
    m_running = false;
    m_ending = false;
    m_stoppedByUser = false;
    EnableWindow(m_cmdExecute, TRUE);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetCursorPos(cursor.x, cursor.y); // the pointer shows the arrow again
}

void frmDOSOutput::dropItem(const std::string& path)
{
    if (!(m_requests.dragOver(path, 1) & 1))
        return;
    m_pendingDrop = {Narrow(windowText(m_lblControl)), path};
    PostMessageW(m_hwnd, kDropRequest, 0, 0);
}

void frmDOSOutput::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A running identifier could keep its files busy: it goes first.
    if (m_objDOS)
        m_objDOS->StopAndWait();
    m_running = false;
    if (m_life)
        m_life->removeDeployed(false);
}

void frmDOSOutput::onCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case idCmdExecute:
        cmdExecute_Click();
        break;
    case idCmdStop:
        cmdStop_Click();
        break;
    case idCmdFile:
        cmdFile_Click();
        break;
    case idCmdCartella:
        cmdCartella_Click();
        break;
    case idCmdExit:
        // The runner goes first (a running command is ended), then the
        // window.
        if (m_objDOS)
            m_objDOS->StopAndWait();
        m_running = false;
        m_objDOS.reset();
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

LRESULT frmDOSOutput::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        buildDesign();
        Form_Resize();
        return 0;
    case WM_SIZE:
        Form_Resize();
        InvalidateRect(m_hwnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        RECT client{};
        GetClientRect(m_hwnd, &client);
        // Drawn off screen first: the pieces overlap.
        HDC buffer = CreateCompatibleDC(dc);
        HBITMAP bits = CreateCompatibleBitmap(dc, width(client), height(client));
        HGDIOBJ old = SelectObject(buffer, bits);
        paint(buffer);
        BitBlt(dc, 0, 0, width(client), height(client), buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, old);
        DeleteObject(bits);
        DeleteDC(buffer);
        EndPaint(m_hwnd, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        if (control == m_txtOutputs) {
            SetTextColor(dc, rgb(d::kConsoleText));
            SetBkColor(dc, rgb(d::kConsoleBack));
            return reinterpret_cast<LRESULT>(m_consoleBrush);
        }
        if (control == m_lblControl) {
            SetBkColor(dc, rgb(d::kRed));
            return reinterpret_cast<LRESULT>(m_redBrush);
        }
        if (control == m_Check2) {
            SetTextColor(dc, rgb(d::kDarkRed));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_SETCURSOR:
        if (m_running) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (reinterpret_cast<HWND>(wParam) == m_hwnd && LOWORD(lParam) == HTCLIENT) {
            POINT point{};
            GetCursorPos(&point);
            ScreenToClient(m_hwnd, &point);
            if (Piece* p = pieceAt(point); p && p->cursor) {
                SetCursor(LoadCursorW(nullptr, p->cursor));
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN: {
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        Piece* p = pieceAt(point);
        if (p && std::string_view(p->name) == "LabelTOP") {
            // The system's own move of a window by its caption.
            ReleaseCapture();
            SendMessageW(m_hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return 0;
        }
        m_pressed = p;
        if (p)
            SetCapture(m_hwnd);
        return 0;
    }
    case WM_LBUTTONUP: {
        Piece* pressed = std::exchange(m_pressed, nullptr);
        if (GetCapture() == m_hwnd)
            ReleaseCapture();
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (pressed && pieceAt(point) == pressed)
            onClick(*pressed);
        return 0;
    }
    case WM_LBUTTONDBLCLK: {
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (Piece* p = pieceAt(point))
            onDoubleClick(*p);
        return 0;
    }
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DROPFILES: {
        auto drop = reinterpret_cast<HDROP>(wParam);
        std::wstring first;
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
            first.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
            first.resize(DragQueryFileW(drop, 0, first.data(), UINT(first.size())));
        }
        DragFinish(drop);
        if (!first.empty())
            dropItem(Narrow(first));
        return 0;
    }
    case kDropRequest:
        if (m_pendingDrop) {
            const auto [mode, path] = *std::exchange(m_pendingDrop, std::nullopt);
            m_requests.dropRequest(mode, path);
        }
        return 0;
    case kOutputPending:
        pumpOutput();
        return 0;
    case kShowAbout:
        if (m_services.showAbout)
            m_services.showAbout(m_hwnd);
        return 0;
    case WM_CLOSE:
        // Every way out (the hot spots, the exit button, the system) comes
        // here; the close is never refused.
        Form_QueryUnload();
        DestroyWindow(m_hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

// RequestWindow

bool frmDOSOutput::identifierMissing() const
{
    return m_life && m_life->identifierMissing();
}

bool frmDOSOutput::verbose() const
{
    return SendMessageW(m_ckVerbose, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmDOSOutput::notice(const std::string& text)
{
    m_services.notice(text);
}

bool frmDOSOutput::confirm(const std::string& question, const std::string& title)
{
    return m_services.box(nullptr, question, kConfirmStyle, title) == IDYES;
}

std::optional<std::string> frmDOSOutput::chooseFile(const std::string& lastFileName)
{
    return m_services.chooseFile(m_hwnd, GetPlacementMode(), kDialogShift, lastFileName);
}

std::optional<std::string> frmDOSOutput::chooseFolder(const std::string& lastFolder)
{
    return m_services.chooseFolder(m_hwnd, GetPlacementMode(), kDialogShift, lastFolder);
}

void frmDOSOutput::showFile(const std::string& commandForm)
{
    SetWindowTextW(m_txtFile, Widen(commandForm).c_str());
}

void frmDOSOutput::showFolder(const std::string& commandForm)
{
    SetWindowTextW(m_txtCartella, Widen(commandForm).c_str());
}

void frmDOSOutput::clearItems()
{
    SetWindowTextW(m_txtFile, L"");
    SetWindowTextW(m_txtCartella, L"");
}

void frmDOSOutput::showDropMode(const std::string& mode)
{
    SetWindowTextW(m_lblControl, Widen(mode).c_str());
}

std::string frmDOSOutput::commandForm(const std::string& path) const
{
    return GetShortName(path);
}

void frmDOSOutput::runCommand(const std::string& commandLine)
{
    setConsoleText("");
    SetWindowTextW(m_txtCommand, Widen(commandLine).c_str());
    cmdExecute_Click();
}

} // namespace gv::win32
