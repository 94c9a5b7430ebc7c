// Symbol export for libvarnel-host.so: the build hides every symbol by
// default, so the kit's API is marked explicitly.
#pragma once

#define VARNEL_HOST_API __attribute__((visibility("default")))
