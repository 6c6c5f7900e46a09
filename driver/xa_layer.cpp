#include "driver/xa_layer.h"

#include <atomic>

namespace {

int NoStartup() { return -1; }
void NoShutdown() {}
void* NoCreate(void*, uint32_t, uint32_t, DRV_Agent*, void**, plat::Gate*, const char*) {
  return nullptr;
}
int NoResource(void*) { return -1; }
// Without the layer no connection holds an enlistment.
int32_t NoRelease(void*) { return -1; }
bool NoneLost(void*) { return false; }

constexpr DRV_XaLayer kAbsent = {NoStartup,  NoShutdown, NoCreate, NoResource,
                                 NoResource, NoRelease,  NoneLost};

// Set by the library's load hook before any call can read it.
std::atomic<const DRV_XaLayer*> gLayer{&kAbsent};

}  // namespace

void DRV_SetXaLayer(const DRV_XaLayer* layer) { gLayer.store(layer != nullptr ? layer : &kAbsent); }

const DRV_XaLayer& DRV_GetXaLayer() { return *gLayer.load(); }
