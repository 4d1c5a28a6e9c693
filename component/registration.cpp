// Registration: placeholder until the registrar lands.
#include "component/class_table.h"

namespace component {
HRESULT RegisterServer() { return E_NOTIMPL; }
HRESULT UnregisterServer() { return E_NOTIMPL; }
}
