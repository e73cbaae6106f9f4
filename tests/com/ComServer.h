// Shared plumbing of the test COM components: module path, registry tables, type libraries,
// and the server-lifetime counter behind DllCanUnloadNow.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace kwtest {

// One value written below a root key (HKEY_CLASSES_ROOT unless told otherwise). A null name is the
// key's default value; a data text of kModulePath stands for the full path of the component itself.
struct RegistryValue {
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* data;
};

inline constexpr wchar_t kModulePath[] = L"<module>";

// Full path of the DLL this code is linked into.
std::wstring ModulePath();

// Writes every value of the table below `root`; stops at the first failure and answers its HRESULT.
HRESULT WriteRegistryValues(std::initializer_list<RegistryValue> values,
                            HKEY root = HKEY_CLASSES_ROOT);

// Deletes the given keys below `root` with everything beneath them; missing keys are fine.
HRESULT DeleteRegistryKeys(std::initializer_list<const wchar_t*> keys,
                           HKEY root = HKEY_CLASSES_ROOT);

// Registers the TYPELIB resource `resourceId` of this module (also writes its Interface keys).
HRESULT RegisterEmbeddedTypeLibrary(int resourceId);

// Removes the registration of the TYPELIB resource `resourceId` of this module.
HRESULT UnregisterEmbeddedTypeLibrary(int resourceId);

// A class factory of this module that creates no object (CreateInstance answers
// CLASS_E_CLASSNOTAVAILABLE): the class object of the classes that are registered but have no
// behaviour, so that they are served through a manifest all the same.
HRESULT GetInertClassObject(REFIID iid, void** object);

// Objects and server locks alive in this module.
void AddServerReference();
void ReleaseServerReference();
bool ServerInUse();

}  // namespace kwtest
