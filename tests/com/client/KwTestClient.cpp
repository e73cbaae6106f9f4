// A client of the dual-interface test server that knows only its CLSID and ProgIDs. It is
// registered nowhere; whether activation works depends on its application manifest alone.
// Prints one line per step and exits with 0 when every call gave the expected answer.
#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}
constexpr CLSID kClsidTestDual = {
    0x6F1C2B3A, 0x5D4E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B}};

bool Report(const char* step, HRESULT hr) {
  if (SUCCEEDED(hr)) return true;
  std::printf("%s failed: 0x%08lX\n", step, static_cast<unsigned long>(hr));
  return false;
}

HRESULT DispatchId(IDispatch* object, const wchar_t* name, DISPID& id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

// Calls Add(left, right) and the Greeting property through IDispatch only.
bool Exercise(const char* how, IDispatch* object) {
  DISPID addId = 0;
  DISPID greetingId = 0;
  if (!Report("GetIDsOfNames(Add)", DispatchId(object, L"Add", addId)) ||
      !Report("GetIDsOfNames(Greeting)", DispatchId(object, L"Greeting", greetingId))) {
    return false;
  }
  VARIANT arguments[2];  // in reverse order: right, left
  VariantInit(&arguments[0]);
  VariantInit(&arguments[1]);
  arguments[0].vt = VT_I4;
  arguments[0].lVal = 40;
  arguments[1].vt = VT_I4;
  arguments[1].lVal = 2;
  DISPPARAMS parameters{arguments, nullptr, 2, 0};
  VARIANT sum;
  VariantInit(&sum);
  if (!Report("Invoke(Add)", object->Invoke(addId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                            &parameters, &sum, nullptr, nullptr))) {
    return false;
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT greeting;
  VariantInit(&greeting);
  if (!Report("Invoke(Greeting)",
              object->Invoke(greetingId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             &greeting, nullptr, nullptr))) {
    return false;
  }
  const bool sumOk = sum.vt == VT_I4 && sum.lVal == 42;
  const bool greetingOk = greeting.vt == VT_BSTR && greeting.bstrVal != nullptr &&
                          std::wstring(greeting.bstrVal) == L"Hello from Kestrelwing";
  std::printf("%s: Add(2, 40) = %ld, Greeting = \"%ls\"\n", how, sum.vt == VT_I4 ? sum.lVal : -1L,
              greeting.vt == VT_BSTR && greeting.bstrVal != nullptr ? greeting.bstrVal : L"?");
  VariantClear(&greeting);
  return sumOk && greetingOk;
}

bool CreateAndExercise(const char* how, const CLSID& clsid) {
  IDispatch* object = nullptr;
  if (!Report(how, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&object)))) {
    return false;
  }
  const bool ok = Exercise(how, object);
  object->Release();
  return ok;
}

bool ByProgId(const wchar_t* progId) {
  CLSID clsid{};
  char how[96];
  std::snprintf(how, sizeof how, "ProgID %ls", progId);
  if (!Report(how, CLSIDFromProgID(progId, &clsid))) return false;
  // An activation context may answer a CLSID of its own that stands for the class: what counts
  // is that creating it gives the object.
  return CreateAndExercise(how, clsid);
}

}  // namespace

int main() {
  if (!Report("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  bool ok = CreateAndExercise("CLSID", kClsidTestDual);
  ok = ByProgId(L"Kestrelwing.TestDual") && ok;
  ok = ByProgId(L"Kestrelwing.TestDual.1") && ok;
  CoUninitialize();
  std::printf("%s\n", ok ? "all calls answered" : "activation failed");
  return ok ? 0 : 1;
}
