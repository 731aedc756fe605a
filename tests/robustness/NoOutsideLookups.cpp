// Host names under ".invalid" never resolve, and asking the machine's name server to confirm
// that would send a query off the machine. This suite answers such names itself; every other
// name goes to the system resolver as usual. libcurl looks names up through getaddrinfo, and a
// definition in the executable comes before the C library's.
#include "robustness/NoOutsideLookups.h"

#include <dlfcn.h>
#include <netdb.h>

#include <atomic>
#include <string_view>

namespace {

std::atomic<int> answeredHere{0};

bool isReservedInvalid(const char* node) {
  if (node == nullptr) return false;
  const std::string_view name(node);
  constexpr std::string_view kInvalid = ".invalid";
  return name == kInvalid.substr(1) ||
         (name.size() > kInvalid.size() && name.substr(name.size() - kInvalid.size()) == kInvalid);
}

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  if (isReservedInvalid(node)) {
    ++answeredHere;
    return EAI_NONAME;
  }
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto systemLookup = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return systemLookup(node, service, hints, result);
}

int skycall::robustness::reservedNamesAnsweredHere() {
  return answeredHere;
}
