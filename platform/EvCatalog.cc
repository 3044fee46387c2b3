#include "platform/Env.h"

namespace tarnalert {

bool Env::CatalogText(unsigned long, unsigned long, std::string*) { return false; }

}  // namespace tarnalert
