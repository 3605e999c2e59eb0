// The portable part of the framework: strings, files, time, exceptions, lists.
#pragma once
#include "Types.h"
#include "Object.h"
#include "String.h"
#include "Exception.h"
#include "Time.h"
#include "File.h"
#include "Collections.h"
