// GDI owners and drawing helpers, checked on the pixels of a memory bitmap;
// the application object and the wait cursor.
#include <gtest/gtest.h>

#include <windows.h>

#include "Application.h"
#include "Gdi.h"

namespace kvr {
namespace {

// A white 24-bit bitmap selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height)
        : m_screen(nullptr),
          m_dc(m_screen.Get()),
          m_bitmap(::CreateCompatibleBitmap(m_screen.Get(), width, height)),
          m_select(m_dc.Get(), m_bitmap.Get()) {
        const RECT all = {0, 0, width, height};
        ::FillRect(m_dc.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    HDC Get() const { return m_dc.Get(); }
    COLORREF At(int x, int y) const { return ::GetPixel(m_dc.Get(), x, y); }

private:
    ClientDC m_screen;
    MemoryDC m_dc;
    UniqueBitmap m_bitmap;
    SelectObjectScope m_select;
};

TEST(Gdi, SelectScopePutsTheOldObjectBackAndOwnersDeleteTheirs) {
    Canvas canvas(4, 4);
    const HGDIOBJ stockPen = ::GetCurrentObject(canvas.Get(), OBJ_PEN);
    HPEN raw = nullptr;
    {
        UniquePen pen(::CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
        raw = pen.Get();
        {
            SelectObjectScope select(canvas.Get(), pen.Get());
            EXPECT_EQ(::GetCurrentObject(canvas.Get(), OBJ_PEN), pen.Get());
        }
        EXPECT_EQ(::GetCurrentObject(canvas.Get(), OBJ_PEN), stockPen);
        SelectObjectScope nothing(canvas.Get(), nullptr);
        EXPECT_EQ(::GetCurrentObject(canvas.Get(), OBJ_PEN), stockPen) << "a null object selects nothing";
    }
    EXPECT_EQ(::GetObjectType(raw), 0u) << "the pen was deleted with its owner";
}

TEST(Gdi, TransparentBitmapLeavesItsKeyColourOut) {
    Canvas canvas(8, 8);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(canvas.Get(), 2, 1));
    {
        // Drawn into, then let go: it must not stay selected while it is drawn.
        MemoryDC dc(canvas.Get());
        SelectObjectScope select(dc.Get(), bitmap.Get());
        ::SetPixel(dc.Get(), 0, 0, RGB(255, 0, 0));  // the key colour
        ::SetPixel(dc.Get(), 1, 0, RGB(0, 0, 255));
    }
    ASSERT_TRUE(DrawTransparentBitmap(canvas.Get(), bitmap.Get(), 3, 4, RGB(255, 0, 0)));
    EXPECT_EQ(canvas.At(3, 4), RGB(255, 255, 255));
    EXPECT_EQ(canvas.At(4, 4), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(5, 4), RGB(255, 255, 255));
    EXPECT_FALSE(DrawTransparentBitmap(canvas.Get(), nullptr, 0, 0, RGB(255, 0, 0)));
}

TEST(Gdi, DropShadowLiesRightOfAndBelowTheControl) {
    const HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                          nullptr, nullptr);
    const HWND control =
        ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 20, 30, 40, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    Canvas canvas(100, 100);
    PaintDropShadow(canvas.Get(), control, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)), 4);
    struct Point {
        int x, y;
        bool shadow;
    };
    // The control covers x 10..39, y 20..59.
    const Point points[] = {
        {40, 24, true},  {43, 63, true},  {40, 23, false}, {44, 30, false},  // right edge
        {14, 60, true},  {39, 63, true},  {13, 60, false}, {20, 64, false},  // bottom edge
        {20, 30, false},                                                      // the control itself
    };
    for (const Point& p : points)
        EXPECT_EQ(canvas.At(p.x, p.y), p.shadow ? RGB(0, 0, 0) : RGB(255, 255, 255)) << p.x << "," << p.y;
    ::DestroyWindow(parent);
}

TEST(Gdi, PointFontFollowsTheDisplayResolution) {
    const UniqueFont font = CreatePointFont(nullptr, 12, L"Arial");
    ASSERT_TRUE(font);
    LOGFONTW info{};
    ASSERT_NE(::GetObjectW(font.Get(), sizeof info, &info), 0);
    ClientDC screen(nullptr);
    EXPECT_EQ(info.lfHeight, -::MulDiv(12, ::GetDeviceCaps(screen.Get(), LOGPIXELSY), 72));
    EXPECT_STREQ(info.lfFaceName, L"Arial");
}

class CCountingApp : public CWinApp {
public:
    int m_starts = 0;
    bool m_succeeds = true;

protected:
    bool InitInstance() override {
        ++m_starts;
        return m_succeeds;
    }
};

TEST(Application, InitialisesOnceAndRemembersTheOutcome) {
    for (const bool succeeds : {true, false}) {
        CCountingApp app;
        app.m_succeeds = succeeds;
        EXPECT_EQ(CWinApp::Get(), &app);
        EXPECT_EQ(app.EnsureInitialized(), succeeds);
        EXPECT_EQ(app.EnsureInitialized(), succeeds);
        EXPECT_EQ(app.m_starts, 1);
        EXPECT_EQ(app.Instance(), ::GetModuleHandleW(nullptr));
    }
    EXPECT_EQ(CWinApp::Get(), nullptr);
}

TEST(Application, WaitCursorComesAndGoes) {
    const HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    ::SetCursor(arrow);
    {
        CWaitCursor wait;
        EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(::GetCursor(), arrow);
}

}  // namespace
}  // namespace kvr
