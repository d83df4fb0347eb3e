// Variable expansion with the process environment as it is now.
#pragma once

#include "launch/expand_rules.h"

// expandText with the process environment as it is now; what had to be left out is logged.
void expandVariables(char* text, const ExpansionContext& context);
