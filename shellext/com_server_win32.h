// The in-process server's COM machinery: the counts that decide unloading, the class factory
// base and the object base with aggregation. Hand-written: no ATL here.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace zel::shellext {

// Inside a catch block: the HRESULT for the exception being handled, E_OUTOFMEMORY for a
// failed allocation and E_UNEXPECTED for anything else. No exception may leave a COM method,
// so each ends in `} catch (...) { return CaughtHresult(); }`.
HRESULT CaughtHresult() noexcept;

// `result` of a call through interface `iid`, passed on. A failure also becomes the thread's
// error information (SetErrorInfo: the interface, "Zelvane", the system's words for the code),
// so that a caller that asks after it, as ISupportErrorInfo invites, never reads an older one.
HRESULT Reported(REFIID iid, HRESULT result) noexcept;

// The module's server object: what DllCanUnloadNow looks at.
class TComServer {
 public:
  constexpr TComServer() = default;
  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;

  // Handler objects alive plus LockServer(TRUE) calls not yet matched by LockServer(FALSE).
  std::atomic<LONG> LiveObjectCount{0};
  // References to the class factory handed out and not yet released.
  std::atomic<LONG> FactoryRefCount{0};
  // The server is a library, so its key is "InprocServer32".
  static constexpr bool kInProcess = true;

  bool CanUnloadNow() const { return LiveObjectCount.load() == 0 && FactoryRefCount.load() == 0; }
};

class TComObject;

// A class factory that lives as long as the module: its references are counted in the
// server's FactoryRefCount, and its last Release destroys nothing.
class TComObjectFactory : public IClassFactory {
 public:
  TComObjectFactory(TComServer& server, const CLSID& classId, bool showErrors)
      : server_(server), classId_(classId), showErrors_(showErrors) {}
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  const CLSID& ClassId() const { return classId_; }

  // Writes the class's registry keys (true) or removes them (false). S_OK; S_FALSE when
  // registered, but not for the 64-bit Explorer; or the failure.
  virtual HRESULT ApplyRegistration(bool registering) noexcept = 0;

  // IUnknown: answers IUnknown and IClassFactory.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** ppv) noexcept override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

 protected:
  // Not virtual: the factory is a static object that nobody deletes through a base pointer.
  ~TComObjectFactory() = default;
  // Makes one object with its reference count at 0. Throws on failure.
  virtual TComObject* CreateComObject(IUnknown* outer) = 0;

  TComServer& server_;

 private:
  const CLSID& classId_;
  const bool showErrors_;
};

// The base of every object the server makes: its own reference count, the server's object
// count, and aggregation. The object's interfaces forward QueryInterface, AddRef and Release
// to ControllingUnknown(): the outer object when aggregated, else the object's own IUnknown.
class TComObject {
 public:
  TComObject(TComServer& server, IUnknown* outer);
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  IUnknown* ControllingUnknown() const { return controlling_; }

  // The object's own, never-delegating operations.
  HRESULT ObjQueryInterface(REFIID riid, void** ppv);
  ULONG ObjAddRef();
  ULONG ObjRelease();
  LONG RefCount() const { return refCount_.load(); }

  // ISupportErrorInfo's answer: S_OK for an interface the object implements, else S_FALSE.
  // Each of them keeps the promise through Reported.
  HRESULT SupportsErrorInfo(REFIID riid);

 protected:
  virtual ~TComObject();
  // The object's interfaces beyond IUnknown, as an IUnknown-derived pointer; null for others.
  virtual IUnknown* FindInterface(REFIID riid) = 0;

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(TComObject& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return owner_.ObjAddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return owner_.ObjRelease(); }

   private:
    TComObject& owner_;
  };

  TComServer& server_;
  Inner inner_;
  IUnknown* controlling_;
  std::atomic<LONG> refCount_{0};
};

}  // namespace zel::shellext
