#include "io/os_version.h"

wow64_redirect_adt::~wow64_redirect_adt() = default;
