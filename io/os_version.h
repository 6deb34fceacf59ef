// The portable layer's OS version record and its file-system redirection guard. The record itself,
// os_version_info, is declared with the host facts that fill it (common/host_facts.h) so that the common
// library can use it; this header gives the io layer both types in one place.
#pragma once

#include "common/host_facts.h"

// Guard for file-system redirection. This platform has nothing to redirect, so the guard holds no state
// and its destructor has nothing to undo; it exists so that code written against it keeps its shape.
class wow64_redirect_adt {
  public:
    wow64_redirect_adt() = default;
    wow64_redirect_adt(const wow64_redirect_adt&) = delete;
    wow64_redirect_adt& operator=(const wow64_redirect_adt&) = delete;
    virtual ~wow64_redirect_adt();
};
