#include "ScreenShot.h"
#include <cstdio>
#include <vector>

bool SaveScreenShot(const CString& name) {
    int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HBITMAP hBmp = ::CreateCompatibleBitmap(hScreen, cx, cy);
    HGDIOBJ hOld = ::SelectObject(hMem, hBmp);
    ::BitBlt(hMem, 0, 0, cx, cy, hScreen, 0, 0, SRCCOPY);
    ::SelectObject(hMem, hOld);

    BITMAPINFOHEADER bi = {sizeof bi};
    bi.biWidth = cx;
    bi.biHeight = cy;  // bottom-up, as a BMP file keeps it
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    DWORD stride = ((DWORD)cx * 3 + 3) & ~3u;
    std::vector<BYTE> bits((size_t)stride * cy);
    int rows = ::GetDIBits(hMem, hBmp, 0, (UINT)cy, bits.data(), (BITMAPINFO*)&bi, DIB_RGB_COLORS);
    ::DeleteObject(hBmp);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    if (rows != cy) return false;

    ::CreateDirectoryW(L"screenshots", nullptr);
    CString path = L"screenshots\\" + name + L".bmp";
    FILE* f = _wfopen(path, L"wb");
    if (!f) return false;
    BITMAPFILEHEADER bf = {};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof bf + sizeof bi;
    bf.bfSize = bf.bfOffBits + (DWORD)bits.size();
    bool ok = fwrite(&bf, sizeof bf, 1, f) == 1 && fwrite(&bi, sizeof bi, 1, f) == 1 &&
              fwrite(bits.data(), 1, bits.size(), f) == bits.size();
    fclose(f);
    return ok;
}

COLORREF ScreenPixel(int x, int y) {
    HDC hScreen = ::GetDC(nullptr);
    COLORREF c = ::GetPixel(hScreen, x, y);
    ::ReleaseDC(nullptr, hScreen);
    return c;
}
