#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegisteredInterfaces.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr char16_t kOwnProxy[] = u"{00000000-0000-0000-0000-0000000000AA}";
constexpr char16_t kPsDispatch[] = u"{00020420-0000-0000-C000-000000000046}";

ComponentManifest WithOwnProxyClass() {
  ComponentManifest manifest;
  ComClass proxy;
  proxy.clsid = kOwnProxy;
  manifest.classes = {proxy};
  manifest.interfaces = {
      {u"{00000000-0000-0000-0000-000000000001}", u"IDual", u"{LIB}", 9, u"", u""}};
  return manifest;
}

TEST(RegisteredInterfaces, TheRegistrysProxyStubDecidesForInterfacesNoTypeLibraryDescribes) {
  ComponentManifest manifest = WithOwnProxyClass();
  const std::vector<RegisteredInterface> registered = {
      // Described by the type library: the library's entry stays as it is.
      {u"{00000000-0000-0000-0000-000000000001}", u"IDual", kPsDispatch, u"7", u"", u""},
      {u"{00000000-0000-0000-0000-000000000002}", u"IDispOnly", kPsDispatch, u"7", u"", u""},
      // Marshaled by the component's own proxy/stub class (registered in lower case).
      {u"{00000000-0000-0000-0000-00000000000c}", u"ICallback",
       u"{00000000-0000-0000-0000-0000000000aa}", u"5", u"{00000000-0000-0000-C000-000000000046}",
       u""},
      // Marshaled elsewhere; an odd NumMethods is left out.
      {u"{00000000-0000-0000-0000-00000000000D}", u"IRemote", kPsDispatch, u"seven", u"",
       u"{00000000-0000-0000-0000-0000000000BB}"},
      // No proxy/stub at all, and the same IID registered again below another root.
      {u"{00000000-0000-0000-0000-00000000000E}", u"ILocal", u"", u"3", u"", u""},
      {u"{00000000-0000-0000-0000-00000000000D}", u"IRemote again", kOwnProxy, u"3", u"", u""},
  };
  AddRegisteredInterfaces(
      registered,
      {u"{00000000-0000-0000-0000-000000000001}", u"{00000000-0000-0000-0000-000000000002}"},
      manifest);

  ASSERT_EQ(manifest.ownProxyStubs.size(), 1u);
  const ProxyStubInterface& own = manifest.ownProxyStubs[0];
  EXPECT_EQ(own.iid, u"{00000000-0000-0000-0000-00000000000C}");
  EXPECT_EQ(own.name, u"ICallback");
  EXPECT_EQ(own.proxyStubClsid, kOwnProxy);
  EXPECT_EQ(own.numMethods, 5);
  EXPECT_EQ(own.baseInterface, u"{00000000-0000-0000-C000-000000000046}");

  ASSERT_EQ(manifest.interfaces.size(), 2u);
  EXPECT_EQ(manifest.interfaces[0].name, u"IDual");
  EXPECT_EQ(manifest.interfaces[0].numMethods, 9);
  EXPECT_TRUE(manifest.interfaces[0].proxyStubClsid.empty());
  const ProxyStubInterface& remote = manifest.interfaces[1];
  EXPECT_EQ(remote.name, u"IRemote");
  EXPECT_EQ(remote.proxyStubClsid, kPsDispatch);
  EXPECT_EQ(remote.numMethods, 0);
  EXPECT_EQ(remote.typeLibraryId, u"{00000000-0000-0000-0000-0000000000BB}");
}

}  // namespace
}  // namespace kestrelwing::regsvr42
