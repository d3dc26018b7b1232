#include "platform/code_page.h"

bool argumentsArriveWhole() { return true; }
