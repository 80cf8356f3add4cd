#include "shellext/com_server_win32.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <exception>
#include <new>
#include <string>

#include "win/code_page_win32.h"
#include "win/error_text_win32.h"

namespace zel::shellext {

HRESULT CaughtHresult() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT Reported(REFIID iid, HRESULT result) noexcept try {
  if (SUCCEEDED(result)) return result;
  Microsoft::WRL::ComPtr<ICreateErrorInfo> created;
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  if (FAILED(::CreateErrorInfo(&created)) || FAILED(created.As(&info))) {
    ::SetErrorInfo(0, nullptr);  // none rather than another call's
    return result;
  }
  std::wstring text = win::Widen(win::ErrorText(static_cast<DWORD>(result)));
  created->SetGUID(iid);
  created->SetSource(const_cast<LPOLESTR>(L"Zelvane"));
  created->SetDescription(text.data());
  ::SetErrorInfo(0, info.Get());
  return result;
} catch (...) {
  ::SetErrorInfo(0, nullptr);
  return result;
}

// ---- TComObjectFactory

HRESULT STDMETHODCALLTYPE TComObjectFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TComObjectFactory::AddRef() noexcept {
  return static_cast<ULONG>(++server_.FactoryRefCount);
}

ULONG STDMETHODCALLTYPE TComObjectFactory::Release() noexcept {
  // Never destroys the factory: it is a static object of the module.
  return static_cast<ULONG>(--server_.FactoryRefCount);
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                            void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  // An aggregated object must hand its outer object the non-delegating IUnknown (COM rules).
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;

  TComObject* object = nullptr;
  try {
    object = CreateComObject(outer);
  } catch (const std::exception& failure) {
    if (showErrors_) {
      // No owner: the shell's window is not ours to block. The result is not examined.
      ::MessageBoxA(nullptr, failure.what(), "Zelvane", MB_ICONERROR | MB_SETFOREGROUND);
    }
    return E_UNEXPECTED;
  } catch (...) {
    return E_UNEXPECTED;
  }
  if (object == nullptr) return E_UNEXPECTED;

  const HRESULT result = object->ObjQueryInterface(riid, ppv);
  // A failed query leaves the new object unowned: destroy it now, which drops
  // LiveObjectCount back. (AddRef then Release brings the count from 0 through 1 to 0.)
  if (object->RefCount() == 0) {
    object->ObjAddRef();
    object->ObjRelease();
  }
  return result;
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::LockServer(BOOL lock) noexcept {
  const HRESULT result = ::CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  if (lock) {
    ++server_.LiveObjectCount;
  } else {
    --server_.LiveObjectCount;
  }
  return result;
}

// ---- TComObject

TComObject::TComObject(TComServer& server, IUnknown* outer)
    : server_(server), inner_(*this), controlling_(outer != nullptr ? outer : &inner_) {
  ++server_.LiveObjectCount;
}

TComObject::~TComObject() { --server_.LiveObjectCount; }

HRESULT TComObject::ObjQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(&inner_);
    ObjAddRef();
    return S_OK;
  }
  IUnknown* found = FindInterface(riid);
  if (found == nullptr) return E_NOINTERFACE;
  *ppv = found;
  // Through the interface, so an aggregated object's reference goes to its outer object.
  found->AddRef();
  return S_OK;
}

ULONG TComObject::ObjAddRef() { return static_cast<ULONG>(++refCount_); }

ULONG TComObject::ObjRelease() {
  const LONG count = --refCount_;
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT TComObject::SupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IUnknown) || FindInterface(riid) != nullptr ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TComObject::Inner::QueryInterface(REFIID riid, void** ppv) noexcept {
  return owner_.ObjQueryInterface(riid, ppv);
}

}  // namespace zel::shellext
