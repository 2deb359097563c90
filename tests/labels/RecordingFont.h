#pragma once
// A label font that draws nothing and keeps what every DrawTextA call was given.
#include <windows.h>

#include <d3dx9core.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What one DrawTextA call was given, the rectangle as it was at the call.
struct DrawCall {
    ID3DXSprite* sprite;
    std::string text;
    INT count;
    const RECT* rectPlace;
    RECT rect;
    DWORD format;
    D3DCOLOR colour;
};

// A label font that draws nothing and keeps what it was asked to draw. Only DrawTextA is meant to
// be called; the rest answer as a font without a device would.
class RecordingFont final : public ID3DXFont {
public:
    std::vector<DrawCall> calls;

    STDMETHOD(QueryInterface)(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; } // lives on the test's stack
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetDevice)(IDirect3DDevice9** device) override
    {
        *device = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(GetDescA)(D3DXFONT_DESCA*) override { return E_NOTIMPL; }
    STDMETHOD(GetDescW)(D3DXFONT_DESCW*) override { return E_NOTIMPL; }
    STDMETHOD_(WINBOOL, GetTextMetricsA)(TEXTMETRICA*) override { return FALSE; }
    STDMETHOD_(WINBOOL, GetTextMetricsW)(TEXTMETRICW*) override { return FALSE; }
    STDMETHOD_(HDC, GetDC)() override { return nullptr; }
    STDMETHOD(GetGlyphData)(UINT, IDirect3DTexture9**, RECT*, POINT*) override { return E_NOTIMPL; }
    STDMETHOD(PreloadCharacters)(UINT, UINT) override { return E_NOTIMPL; }
    STDMETHOD(PreloadGlyphs)(UINT, UINT) override { return E_NOTIMPL; }
    STDMETHOD(PreloadTextA)(const char*, INT) override { return E_NOTIMPL; }
    STDMETHOD(PreloadTextW)(const WCHAR*, INT) override { return E_NOTIMPL; }
    STDMETHOD_(INT, DrawTextA)(ID3DXSprite* sprite, const char* text, INT count, RECT* rect, DWORD format,
                               D3DCOLOR colour) override
    {
        std::string drawn;
        if (text)
            drawn = count < 0 ? std::string(text) : std::string(text, static_cast<size_t>(count));
        calls.push_back(DrawCall{sprite, drawn, count, rect, rect ? *rect : RECT{-1, -1, -1, -1}, format, colour});
        return 13; // the height of one line, as a real font answers
    }
    STDMETHOD_(INT, DrawTextW)(ID3DXSprite*, const WCHAR*, INT, RECT*, DWORD, D3DCOLOR) override
    {
        ADD_FAILURE() << "captions are GBK texts: DrawTextW must not be called";
        return 0;
    }
    STDMETHOD(OnLostDevice)() override { return S_OK; }
    STDMETHOD(OnResetDevice)() override { return S_OK; }
};
