// Every thread of the process shares one address space and all objects here
// are free-threaded, so marshaling an interface within the process is handing
// its pointer over. What travels through the stream is a small record naming a
// slot in a process-wide table; the table, not the stream, holds the
// reference. A record that was already consumed, came from another process, or
// was never written by us is thus refused instead of being dereferenced.
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "comrt/com_ptr.h"
#include "comrt/marshal.h"
#include "comrt/object.h"

namespace {

constexpr uint32_t kRecordMarker = 0x4D544643;  // "CFTM" read as little-endian bytes
constexpr uint32_t kRecordVersion = 1;

struct Record {
  uint32_t marker;
  uint32_t version;
  uint64_t token;      // the slot in the table
  uint64_t interface;  // the pointer the slot must hold, a second check
  uint32_t flags;      // MSHLFLAGS_*
  uint32_t reserved;
};
static_assert(sizeof(Record) == 32, "the record has no padding");

struct Slot {
  IUnknown* interface;  // counted unless the flags say MSHLFLAGS_TABLEWEAK
  DWORD flags;
};

class MarshalTable {
 public:
  // The table takes over the reference of `interface` unless `flags` is weak.
  uint64_t Add(IUnknown* interface, DWORD flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t token = nextToken_++;
    slots_.emplace(token, Slot{interface, flags});
    return token;
  }

  // Hands out a counted reference for the record, taking the slot's own for a
  // normal record (which may be unmarshaled once only). E_INVALIDARG when no
  // such slot exists.
  HRESULT Take(const Record& record, IUnknown** interface) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = Find(record);
    if (it == slots_.end()) return E_INVALIDARG;
    *interface = it->second.interface;
    if (it->second.flags == MSHLFLAGS_NORMAL) {
      slots_.erase(it);
    } else {
      (*interface)->AddRef();
    }
    return S_OK;
  }

  // Removes the slot; *interface gets the reference it held (null for a weak
  // one). E_INVALIDARG when no such slot exists.
  HRESULT Remove(const Record& record, IUnknown** interface) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = Find(record);
    if (it == slots_.end()) return E_INVALIDARG;
    *interface = it->second.flags == MSHLFLAGS_TABLEWEAK ? nullptr : it->second.interface;
    slots_.erase(it);
    return S_OK;
  }

  void Forget(uint64_t token) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.erase(token);
  }

 private:
  std::unordered_map<uint64_t, Slot>::iterator Find(const Record& record) {
    auto it = slots_.find(record.token);
    if (it == slots_.end()) return it;
    if (reinterpret_cast<uint64_t>(it->second.interface) != record.interface || it->second.flags != record.flags) {
      return slots_.end();
    }
    return it;
  }

  std::mutex mutex_;
  uint64_t nextToken_ = 1;
  std::unordered_map<uint64_t, Slot> slots_;
};

// Never destroyed: a record may be released from a static destructor or a
// thread's exit after this file's statics are gone.
MarshalTable& Table() {
  static MarshalTable* table = new MarshalTable;
  return *table;
}

bool IsSupportedContext(DWORD destContext) {
  // Only destinations inside this process can use a bare pointer. A local
  // destination may be another process, and nothing crosses processes here.
  return destContext == MSHCTX_INPROC || destContext == MSHCTX_CROSSCTX;
}

bool IsKnownFlags(DWORD flags) {
  return flags == MSHLFLAGS_NORMAL || flags == MSHLFLAGS_TABLESTRONG || flags == MSHLFLAGS_TABLEWEAK;
}

HRESULT ReadRecord(IStream* stream, Record* record) {
  if (!stream) return E_INVALIDARG;
  ULONG read = 0;
  const HRESULT hr = stream->Read(record, sizeof(Record), &read);
  if (FAILED(hr)) return hr;
  if (read != sizeof(Record)) return STG_E_READFAULT;
  if (record->marker != kRecordMarker || record->version != kRecordVersion || record->reserved != 0 ||
      !IsKnownFlags(record->flags)) {
    return E_INVALIDARG;
  }
  return S_OK;
}

class FreeThreadedMarshaler : public comrt::ObjectRoot<FreeThreadedMarshaler, IMarshal> {
 public:
  HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD destContext, void*, DWORD flags,
                                              CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = GUID_NULL;
    if (!IsSupportedContext(destContext)) return E_NOTIMPL;
    if (!IsKnownFlags(flags)) return E_INVALIDARG;
    *clsid = CLSID_InProcFreeMarshaler;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD destContext, void*, DWORD flags,
                                              DWORD* size) override {
    if (!size) return E_POINTER;
    *size = 0;
    if (!IsSupportedContext(destContext)) return E_NOTIMPL;
    if (!IsKnownFlags(flags)) return E_INVALIDARG;
    *size = sizeof(Record);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* stream, REFIID iid, void* object, DWORD destContext,
                                             void*, DWORD flags) override {
    if (!stream || !object) return E_INVALIDARG;
    if (!IsSupportedContext(destContext)) return E_NOTIMPL;
    if (!IsKnownFlags(flags)) return E_INVALIDARG;
    CComPtr<IUnknown> interface;
    HRESULT hr = static_cast<IUnknown*>(object)->QueryInterface(iid, reinterpret_cast<void**>(&interface));
    if (FAILED(hr)) return hr;
    if (!interface) return E_NOINTERFACE;

    Record record{};
    record.marker = kRecordMarker;
    record.version = kRecordVersion;
    record.interface = reinterpret_cast<uint64_t>(interface.p);
    record.flags = flags;
    try {
      record.token = Table().Add(interface, flags);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    // A weak entry holds no reference: the caller keeps the object alive.
    IUnknown* held = flags == MSHLFLAGS_TABLEWEAK ? nullptr : interface.Detach();

    ULONG written = 0;
    hr = stream->Write(&record, sizeof(Record), &written);
    if (SUCCEEDED(hr) && written != sizeof(Record)) hr = STG_E_MEDIUMFULL;
    if (FAILED(hr)) {
      Table().Forget(record.token);
      if (held) held->Release();
      return hr;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* stream, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    Record record;
    HRESULT hr = ReadRecord(stream, &record);
    if (FAILED(hr)) return hr;
    CComPtr<IUnknown> interface;
    hr = Table().Take(record, &interface);
    if (FAILED(hr)) return hr;
    return interface->QueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* stream) override {
    Record record;
    HRESULT hr = ReadRecord(stream, &record);
    if (FAILED(hr)) return hr;
    IUnknown* held = nullptr;
    hr = Table().Remove(record, &held);
    if (held) held->Release();
    return hr;
  }

  // Nothing is connected: the unmarshaled pointers are the object's own.
  HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override { return S_OK; }
};

}  // namespace

HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler) {
  if (!marshaler) return E_POINTER;
  *marshaler = nullptr;
  if (!outer) return E_INVALIDARG;
  return comrt::CreateComObject<FreeThreadedMarshaler>(outer, IID_IUnknown, reinterpret_cast<void**>(marshaler));
}
