// UI Automation on the window. See access_win.h.
#include "app/access/access_win.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "app/access/uia_win.h"
#include "app/messages_win.h"
#include "app/window_win.h"
#include "strings/wide_win.h"

namespace spadrim {

struct KeyHash {
    std::size_t operator()(const ElementKey& key) const noexcept {
        std::uint64_t h = static_cast<std::uint64_t>(key.piece) * 0x9E3779B97F4A7C15ull;
        h ^= key.item + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h ^= key.era + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        return static_cast<std::size_t>(h);
    }
};

// One description, never changed once handed out, with its elements found by key.
struct Snapshot {
    ScreenDescription screen;
    std::unordered_map<ElementKey, std::uint32_t, KeyHash> index;
};

// An action a reader asked for, with the text it sets.
struct AccessRequest {
    ElementKey key;
    Act act = Act::Invoke;
    std::string value;
};

struct AccessHub {
    HWND window = nullptr;
    std::mutex lock;  // guards what follows
    std::shared_ptr<const Snapshot> snapshot;
    bool open = true;
    std::deque<AccessRequest> actions;
};

namespace {

constexpr ElementKey ROOT{Piece::Window, 0, 0};

// The few functions of uiautomationcore.dll, loaded on the first request: a user without a reader never
// loads it. It stays loaded, as providers handed out may outlive the window.
struct UiaApi {
    ReturnRawElementProvider return_provider = nullptr;
    HostProviderFromHwnd host_provider = nullptr;
    RaiseAutomationEvent raise_event = nullptr;
    RaiseStructureChangedEvent raise_structure_changed = nullptr;
    ClientsAreListening clients_are_listening = nullptr;
};

// Wine 8 exports UiaRaiseStructureChangedEvent as a stub that ends the calling process, so under Wine
// readers learn of a new screen from the focus event and their next walk of the tree instead.
bool under_wine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

template <typename F>
F proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const UiaApi& uia() {
    static const UiaApi api = [] {
        UiaApi loaded;
        const HMODULE module = LoadLibraryW(L"uiautomationcore.dll");
        if (!module) return loaded;
        loaded.return_provider =
            proc<decltype(loaded.return_provider)>(module, "UiaReturnRawElementProvider");
        loaded.host_provider = proc<decltype(loaded.host_provider)>(module, "UiaHostProviderFromHwnd");
        loaded.raise_event = proc<decltype(loaded.raise_event)>(module, "UiaRaiseAutomationEvent");
        if (!under_wine()) {
            loaded.raise_structure_changed =
                proc<decltype(loaded.raise_structure_changed)>(module, "UiaRaiseStructureChangedEvent");
        }
        loaded.clients_are_listening =
            proc<decltype(loaded.clients_are_listening)>(module, "UiaClientsAreListening");
        return loaded;
    }();
    return api;
}

std::shared_ptr<const Snapshot> snapshot_of(ScreenDescription screen) {
    auto made = std::make_shared<Snapshot>();
    made->screen = std::move(screen);
    made->index.reserve(made->screen.elements.size());
    for (std::uint32_t i = 0; i < made->screen.elements.size(); ++i)
        made->index.emplace(made->screen.elements[i].key, i);
    return made;
}

BSTR bstr_of(std::string_view text) {
    const std::wstring wide = to_wide(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

long control_type(Role role) {
    switch (role) {
        case Role::Window: return UIA_WindowControlTypeId;
        case Role::Button: return UIA_ButtonControlTypeId;
        case Role::Link: return UIA_HyperlinkControlTypeId;
        case Role::Text: return UIA_TextControlTypeId;
        case Role::Group: return UIA_GroupControlTypeId;
        case Role::TabList: return UIA_TabControlTypeId;
        case Role::TabItem: return UIA_TabItemControlTypeId;
        case Role::List: return UIA_ListControlTypeId;
        case Role::ListItem: return UIA_ListItemControlTypeId;
        case Role::ProgressBar: return UIA_ProgressBarControlTypeId;
        case Role::StatusBar: return UIA_StatusBarControlTypeId;
        case Role::Edit: return UIA_EditControlTypeId;
    }
    return UIA_TextControlTypeId;
}

// An element's provider: a key and the hub. Every call finds the element again in the newest snapshot,
// so a provider stays valid while its element exists and answers that it is gone afterwards.
class ElementProvider final : public IRawElementProviderSimple2,
                              public IRawElementProviderFragment,
                              public IRawElementProviderFragmentRoot,
                              public IInvokeProvider,
                              public ISelectionItemProvider,
                              public IExpandCollapseProvider,
                              public IRangeValueProvider,
                              public IValueProvider {
  public:
    ElementProvider(std::shared_ptr<AccessHub> hub, ElementKey key) : hub_(std::move(hub)), key_(key) {}
    ElementProvider(const ElementProvider&) = delete;
    ElementProvider& operator=(const ElementProvider&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple) ||
            iid == __uuidof(IRawElementProviderSimple2)) {
            *out = static_cast<IRawElementProviderSimple2*>(this);
        } else if (iid == __uuidof(IRawElementProviderFragment)) {
            *out = static_cast<IRawElementProviderFragment*>(this);
        } else if (iid == __uuidof(IRawElementProviderFragmentRoot) && key_ == ROOT) {
            *out = static_cast<IRawElementProviderFragmentRoot*>(this);
        } else if (iid == __uuidof(IInvokeProvider)) {
            *out = static_cast<IInvokeProvider*>(this);
        } else if (iid == __uuidof(ISelectionItemProvider)) {
            *out = static_cast<ISelectionItemProvider*>(this);
        } else if (iid == __uuidof(IExpandCollapseProvider)) {
            *out = static_cast<IExpandCollapseProvider*>(this);
        } else if (iid == __uuidof(IRangeValueProvider)) {
            *out = static_cast<IRangeValueProvider*>(this);
        } else if (iid == __uuidof(IValueProvider)) {
            *out = static_cast<IValueProvider*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* out) override {
        if (!out) return E_POINTER;
        *out = ProviderOptions_ServerSideProvider;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        const Element& e = *found.element;
        IUnknown* provider = nullptr;
        if (pattern == UIA_InvokePatternId && (e.abilities & CAN_INVOKE)) {
            provider = static_cast<IInvokeProvider*>(this);
        } else if (pattern == UIA_SelectionItemPatternId && (e.abilities & CAN_SELECT)) {
            provider = static_cast<ISelectionItemProvider*>(this);
        } else if (pattern == UIA_ExpandCollapsePatternId && (e.abilities & CAN_EXPAND)) {
            provider = static_cast<IExpandCollapseProvider*>(this);
        } else if (pattern == UIA_RangeValuePatternId && e.fraction) {
            provider = static_cast<IRangeValueProvider*>(this);
        } else if (pattern == UIA_ValuePatternId && (e.abilities & CAN_EDIT)) {
            provider = static_cast<IValueProvider*>(this);
        }
        if (provider) {
            provider->AddRef();
            *out = provider;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        const Element& e = *found.element;
        const auto text = [&](std::string_view value) {
            if (value.empty()) return;
            out->vt = VT_BSTR;
            out->bstrVal = bstr_of(value);
        };
        const auto boolean = [&](bool value) {
            out->vt = VT_BOOL;
            out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        };
        switch (property) {
            // The window's own name is its title: said here too, as not every host says it (Wine's does not).
            case UIA_NamePropertyId: text(e.name); break;
            case UIA_ControlTypePropertyId:
                out->vt = VT_I4;
                out->lVal = control_type(e.role);
                break;
            case UIA_HelpTextPropertyId: text(e.help); break;
            case UIA_IsEnabledPropertyId: boolean(!(e.states & DISABLED)); break;
            case UIA_HasKeyboardFocusPropertyId:
                boolean((e.states & FOCUSED) && GetForegroundWindow() == hub_->window);
                break;
            // The value's properties too, for clients that ask for them without the pattern (Wine's).
            case UIA_IsValuePatternAvailablePropertyId: boolean(e.abilities & CAN_EDIT); break;
            case UIA_ValueValuePropertyId:
                if (e.abilities & CAN_EDIT) {
                    out->vt = VT_BSTR;
                    out->bstrVal = bstr_of(e.value);
                }
                break;
            case UIA_ValueIsReadOnlyPropertyId:
                if (e.abilities & CAN_EDIT) boolean(false);
                break;
            case UIA_IsKeyboardFocusablePropertyId:
                boolean((e.abilities & (CAN_INVOKE | CAN_SELECT | CAN_EDIT)) || e.key.piece == Piece::List ||
                        e.key.piece == Piece::Treemap);
                break;
            case UIA_LiveSettingPropertyId:
                if (e.abilities & LIVE) {
                    out->vt = VT_I4;
                    out->lVal = LIVE_POLITE;
                }
                break;
            case UIA_FrameworkIdPropertyId: text("Direct2D"); break;
            default: break;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (key_ == ROOT && uia().host_provider) return uia().host_provider(hub_->window, out);
        return S_OK;
    }

    // IRawElementProviderFragment
    HRESULT STDMETHODCALLTYPE Navigate(NavigateDirection direction,
                                       IRawElementProviderFragment** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        const Element& e = *found.element;
        std::uint32_t to = NO_ELEMENT;
        switch (direction) {
            case NavigateDirection_Parent: to = e.parent; break;
            case NavigateDirection_NextSibling: to = e.next; break;
            case NavigateDirection_PreviousSibling: to = e.previous; break;
            case NavigateDirection_FirstChild: to = e.first_child; break;
            case NavigateDirection_LastChild: to = e.last_child; break;
        }
        if (to != NO_ELEMENT) *out = fragment(found.snapshot->screen.elements[to].key);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (key_ == ROOT) return S_OK;  // the host's identity stands for the window
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        const std::uint64_t parts[] = {UiaAppendRuntimeId,     static_cast<std::uint64_t>(key_.piece),
                                       key_.item & 0xFFFFFFFF, key_.item >> 32,
                                       key_.era & 0xFFFFFFFF,  key_.era >> 32};
        SAFEARRAY* ids = SafeArrayCreateVector(VT_I4, 0, 6);
        if (!ids) return E_OUTOFMEMORY;
        for (LONG i = 0; i < 6; ++i) {
            LONG value = static_cast<LONG>(static_cast<std::uint32_t>(parts[i]));
            SafeArrayPutElement(ids, &i, &value);
        }
        *out = ids;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BoundingRectangle(UiaRect* out) override {
        if (!out) return E_POINTER;
        *out = UiaRect{};
        if (key_ == ROOT) return S_OK;  // the host knows the window's
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        POINT origin{0, 0};
        ClientToScreen(hub_->window, &origin);
        const Box& box = found.element->box;
        *out = UiaRect{static_cast<double>(origin.x) + box.x, static_cast<double>(origin.y) + box.y,
                       box.width, box.height};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFocus() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!find().element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = static_cast<IRawElementProviderFragmentRoot*>(new ElementProvider(hub_, ROOT));
        return S_OK;
    }

    // IRawElementProviderFragmentRoot (the window's provider only)
    HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double x, double y,
                                                       IRawElementProviderFragment** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        POINT point{static_cast<LONG>(x), static_cast<LONG>(y)};
        ScreenToClient(hub_->window, &point);
        const auto px = static_cast<float>(point.x);
        const auto py = static_cast<float>(point.y);
        // Children follow their parents, so the last element holding the point is the innermost.
        const std::vector<Element>& elements = found.snapshot->screen.elements;
        for (std::size_t i = elements.size(); i-- > 1;) {
            if (elements[i].box.contains(px, py)) {
                *out = fragment(elements[i].key);
                return S_OK;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        const std::uint32_t focused = focused_element(found.snapshot->screen);
        if (focused != NO_ELEMENT) *out = fragment(found.snapshot->screen.elements[focused].key);
        return S_OK;
    }

    // IRawElementProviderSimple2: a reader's way to a row's or tile's item menu.
    HRESULT STDMETHODCALLTYPE ShowContextMenu() override { return ask(Act::Menu, CAN_SELECT); }

    // IInvokeProvider
    HRESULT STDMETHODCALLTYPE Invoke() override { return ask(Act::Invoke, CAN_INVOKE); }

    // ISelectionItemProvider: one item of a list, a tab strip or a treemap is selected at a time.
    HRESULT STDMETHODCALLTYPE Select() override { return ask(Act::Select, CAN_SELECT); }
    HRESULT STDMETHODCALLTYPE AddToSelection() override { return ask(Act::Select, CAN_SELECT); }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override { return UIA_E_INVALIDOPERATION; }
    HRESULT STDMETHODCALLTYPE get_IsSelected(BOOL* out) override {
        if (!out) return E_POINTER;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = (found.element->states & SELECTED) ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_SelectionContainer(IRawElementProviderSimple** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        // A tile's container is the treemap, however deep the tile lies.
        std::uint32_t at = found.element->parent;
        const std::vector<Element>& elements = found.snapshot->screen.elements;
        while (at != NO_ELEMENT && elements[at].key.piece == Piece::Tile)
            at = elements[at].parent;
        if (at != NO_ELEMENT) *out = new ElementProvider(hub_, elements[at].key);
        return S_OK;
    }

    // IExpandCollapseProvider
    HRESULT STDMETHODCALLTYPE Expand() override { return ask(Act::Expand, CAN_EXPAND); }
    HRESULT STDMETHODCALLTYPE Collapse() override { return ask(Act::Collapse, CAN_EXPAND); }
    HRESULT STDMETHODCALLTYPE get_ExpandCollapseState(ExpandCollapseState* out) override {
        if (!out) return E_POINTER;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out =
            (found.element->states & EXPANDED) ? ExpandCollapseState_Expanded : ExpandCollapseState_Collapsed;
        return S_OK;
    }

    // IRangeValueProvider: the progress bar, in percent, read only.
    HRESULT STDMETHODCALLTYPE SetValue(double) override { return UIA_E_ELEMENTNOTENABLED; }
    HRESULT STDMETHODCALLTYPE get_Value(double* out) override {
        if (!out) return E_POINTER;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = 100 * found.element->fraction.value_or(0);
        return S_OK;
    }
    // Also IValueProvider's: only an edit can be written.
    HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* out) override {
        if (!out) return E_POINTER;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = (found.element->abilities & CAN_EDIT) ? FALSE : TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Maximum(double* out) override { return answer(out, 100.0); }
    HRESULT STDMETHODCALLTYPE get_Minimum(double* out) override { return answer(out, 0.0); }
    HRESULT STDMETHODCALLTYPE get_LargeChange(double* out) override { return answer(out, 0.0); }
    HRESULT STDMETHODCALLTYPE get_SmallChange(double* out) override { return answer(out, 0.0); }

    // IValueProvider: the search field's text; setting it is done on the main thread as typing would.
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) override {
        if (!value) return E_POINTER;
        return ask(Act::SetValue, CAN_EDIT, from_wide(value));
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = bstr_of(found.element->value);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    ~ElementProvider() = default;

    struct Found {
        std::shared_ptr<const Snapshot> snapshot;
        const Element* element = nullptr;
    };

    Found find() const {
        Found found;
        {
            std::lock_guard hold(hub_->lock);
            if (!hub_->open) return found;
            found.snapshot = hub_->snapshot;
        }
        if (!found.snapshot) return found;
        const auto at = found.snapshot->index.find(key_);
        if (at != found.snapshot->index.end()) found.element = &found.snapshot->screen.elements[at->second];
        return found;
    }

    IRawElementProviderFragment* fragment(const ElementKey& key) const {
        return static_cast<IRawElementProviderFragment*>(new ElementProvider(hub_, key));
    }

    template <typename T>
    HRESULT answer(T* out, T value) {
        if (!out) return E_POINTER;
        if (!find().element) return UIA_E_ELEMENTNOTAVAILABLE;
        *out = value;
        return S_OK;
    }

    // Queues an action for the main thread, which does it as the click it stands for.
    HRESULT ask(Act act, std::uint8_t ability, std::string value = {}) {
        const Found found = find();
        if (!found.element) return UIA_E_ELEMENTNOTAVAILABLE;
        if (!(found.element->abilities & ability) || (found.element->states & DISABLED))
            return UIA_E_ELEMENTNOTENABLED;
        {
            std::lock_guard hold(hub_->lock);
            if (!hub_->open) return UIA_E_ELEMENTNOTAVAILABLE;
            hub_->actions.push_back(AccessRequest{key_, act, std::move(value)});
        }
        PostMessageW(hub_->window, MSG_ACCESS, 0, 0);
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
    std::shared_ptr<AccessHub> hub_;
    ElementKey key_;
};

ScreenDescription describe_window(const Window& window) {
    return describe(window.app, view_input(window));
}

}  // namespace

IRawElementProviderSimple* root_provider(Window& window) {
    if (!window.access) {
        window.access = std::make_shared<AccessHub>();
        window.access->window = window.handle;
        window.access->snapshot = snapshot_of(describe_window(window));
    }
    return new ElementProvider(window.access, ROOT);
}

LRESULT answer_get_object(Window& window, WPARAM wparam, LPARAM lparam) {
    if (static_cast<LONG>(lparam) != UiaRootObjectId || !uia().return_provider) return 0;
    IRawElementProviderSimple* root = root_provider(window);
    const LRESULT answer = uia().return_provider(window.handle, wparam, lparam, root);
    root->Release();
    return answer;
}

void update_access(Window& window) {
    if (!window.access) return;
    AccessHub& hub = *window.access;
    std::shared_ptr<const Snapshot> before;
    {
        std::lock_guard hold(hub.lock);
        before = hub.snapshot;
    }
    std::shared_ptr<const Snapshot> now = snapshot_of(describe_window(window));
    {
        std::lock_guard hold(hub.lock);
        hub.snapshot = now;
    }
    const UiaApi& api = uia();
    if (!before || (api.clients_are_listening && !api.clients_are_listening())) return;
    const ScreenChanges changes = changes_between(before->screen, now->screen);
    const auto raise = [&](const ElementKey& key, EVENTID event) {
        if (!api.raise_event) return;
        auto* provider = new ElementProvider(window.access, key);
        api.raise_event(provider, event);
        provider->Release();
    };
    if (changes.structure && api.raise_structure_changed) {
        auto* root = new ElementProvider(window.access, ROOT);
        api.raise_structure_changed(root, STRUCTURE_CHILDREN_INVALIDATED, nullptr, 0);
        root->Release();
    }
    if (changes.focus && GetFocus() == window.handle)
        raise(*changes.focus, UIA_AutomationFocusChangedEventId);
    if (changes.notice) raise(*changes.notice, UIA_LiveRegionChangedEventId);
}

Reaction next_access_action(Window& window) {
    if (!window.access) return {};
    AccessRequest next;
    {
        std::lock_guard hold(window.access->lock);
        if (window.access->actions.empty()) return {};
        next = window.access->actions.front();
        window.access->actions.pop_front();
        // One action per message: each may end in a command with a modal loop of its own.
        if (!window.access->actions.empty()) PostMessageW(window.handle, MSG_ACCESS, 0, 0);
    }
    return act_on(window.app, surface_of(window), next.key, next.act, next.value);
}

void close_access(Window& window) {
    if (!window.access) return;
    {
        std::lock_guard hold(window.access->lock);
        window.access->open = false;
        window.access->snapshot.reset();
        window.access->actions.clear();
    }
    // Tells UI Automation that the window's providers are done with.
    if (uia().return_provider) uia().return_provider(window.handle, 0, 0, nullptr);
}

}  // namespace spadrim
