#include "core/settings/GlobalVariable.h"

GlobalVariable& GlobalVariable::sharedInstance()
{
    static GlobalVariable instance;
    return instance;
}
