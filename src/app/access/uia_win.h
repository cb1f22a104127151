// UI Automation declarations that the Windows SDK has and the mingw-w64 headers of Debian 12 lack: the
// pattern interfaces a provider implements, control types, events and a few enumerations. Each is
// declared only where the headers have not already, under the SDK's own guard, so an SDK build uses the
// SDK's. Values and vtable orders are those of UIAutomationCore.idl.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <uiautomationclient.h>
#include <uiautomationcore.h>

// The API header of mingw-w64 10 names a parameter `new` and so cannot be compiled as C++; the functions
// are loaded by name anyway, so only its constants are needed.
#ifndef UiaRootObjectId
#define UiaRootObjectId -25
#define UiaAppendRuntimeId 3
#define UIA_E_ELEMENTNOTENABLED ((HRESULT)0x80040200L)
#define UIA_E_ELEMENTNOTAVAILABLE ((HRESULT)0x80040201L)
#define UIA_E_INVALIDOPERATION ((HRESULT)0x80131509L)
#endif

#ifndef __IInvokeProvider_INTERFACE_DEFINED__
#define __IInvokeProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("54fcb24b-e18e-47a2-b4d3-eccbe77599a2")
IInvokeProvider : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
__CRT_UUID_DECL(IInvokeProvider, 0x54fcb24b, 0xe18e, 0x47a2, 0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2)
#endif

#ifndef __IRawElementProviderSimple2_INTERFACE_DEFINED__
#define __IRawElementProviderSimple2_INTERFACE_DEFINED__
MIDL_INTERFACE("a0a839a9-8da1-4a82-806a-8e0d44e79f56")
IRawElementProviderSimple2 : public IRawElementProviderSimple {
  public:
    virtual HRESULT STDMETHODCALLTYPE ShowContextMenu() = 0;
};
__CRT_UUID_DECL(IRawElementProviderSimple2, 0xa0a839a9, 0x8da1, 0x4a82, 0x80, 0x6a, 0x8e, 0x0d, 0x44, 0xe7,
                0x9f, 0x56)
#endif

#ifndef __ISelectionItemProvider_INTERFACE_DEFINED__
#define __ISelectionItemProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("2acad808-b2d4-452d-a407-91ff1ad167b2")
ISelectionItemProvider : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsSelected(BOOL * selected) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SelectionContainer(IRawElementProviderSimple * *container) = 0;
};
__CRT_UUID_DECL(ISelectionItemProvider, 0x2acad808, 0xb2d4, 0x452d, 0xa4, 0x07, 0x91, 0xff, 0x1a, 0xd1, 0x67,
                0xb2)
#endif

#ifndef __IExpandCollapseProvider_INTERFACE_DEFINED__
#define __IExpandCollapseProvider_INTERFACE_DEFINED__
enum ExpandCollapseState {
    ExpandCollapseState_Collapsed = 0,
    ExpandCollapseState_Expanded = 1,
    ExpandCollapseState_PartiallyExpanded = 2,
    ExpandCollapseState_LeafNode = 3,
};
MIDL_INTERFACE("d847d3a5-cab0-4a98-8c32-ecb45c59ad24")
IExpandCollapseProvider : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE Expand() = 0;
    virtual HRESULT STDMETHODCALLTYPE Collapse() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExpandCollapseState(enum ExpandCollapseState * state) = 0;
};
__CRT_UUID_DECL(IExpandCollapseProvider, 0xd847d3a5, 0xcab0, 0x4a98, 0x8c, 0x32, 0xec, 0xb4, 0x5c, 0x59, 0xad,
                0x24)
#endif

#ifndef __IRangeValueProvider_INTERFACE_DEFINED__
#define __IRangeValueProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("36dc7aef-33e6-4691-afe1-2be7274b3d33")
IRangeValueProvider : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE SetValue(double value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL * read_only) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Maximum(double* maximum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Minimum(double* minimum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LargeChange(double* change) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SmallChange(double* change) = 0;
};
__CRT_UUID_DECL(IRangeValueProvider, 0x36dc7aef, 0x33e6, 0x4691, 0xaf, 0xe1, 0x2b, 0xe7, 0x27, 0x4b, 0x3d,
                0x33)
#endif

#ifndef __IValueProvider_INTERFACE_DEFINED__
#define __IValueProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("c7935180-6fb3-4201-b174-7df73adbf64a")
IValueProvider : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR * value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL * read_only) = 0;
};
__CRT_UUID_DECL(IValueProvider, 0xc7935180, 0x6fb3, 0x4201, 0xb1, 0x74, 0x7d, 0xf7, 0x3a, 0xdb, 0xf6, 0x4a)
#endif

#ifndef UIA_EditControlTypeId
#define UIA_EditControlTypeId 50004
#endif
#ifndef UIA_ValuePatternId
#define UIA_ValuePatternId 10002
#define UIA_IsValuePatternAvailablePropertyId 30043
#define UIA_ValueValuePropertyId 30045
#define UIA_ValueIsReadOnlyPropertyId 30046
#endif

#ifndef UIA_ButtonControlTypeId
#define UIA_ButtonControlTypeId 50000
#define UIA_HyperlinkControlTypeId 50005
#define UIA_ListItemControlTypeId 50007
#define UIA_ListControlTypeId 50008
#define UIA_ProgressBarControlTypeId 50012
#define UIA_StatusBarControlTypeId 50017
#define UIA_TabControlTypeId 50018
#define UIA_TabItemControlTypeId 50019
#define UIA_TextControlTypeId 50020
#define UIA_GroupControlTypeId 50026
#define UIA_WindowControlTypeId 50032
#endif

#ifndef UIA_StructureChangedEventId
#define UIA_StructureChangedEventId 20002
#define UIA_AutomationFocusChangedEventId 20005
#define UIA_LiveRegionChangedEventId 20024
#endif

// Older headers know neither enumeration; the values are fixed by the API.
namespace spadrim {
using ReturnRawElementProvider = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
using HostProviderFromHwnd = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
using RaiseAutomationEvent = HRESULT(WINAPI*)(IRawElementProviderSimple*, EVENTID);
using RaiseStructureChangedEvent = HRESULT(WINAPI*)(IRawElementProviderSimple*, int, int*, int);
using ClientsAreListening = BOOL(WINAPI*)();

inline constexpr int STRUCTURE_CHILDREN_INVALIDATED = 2;  // StructureChangeType_ChildrenInvalidated
inline constexpr int LIVE_POLITE = 1;                     // LiveSetting's Polite
}  // namespace spadrim
