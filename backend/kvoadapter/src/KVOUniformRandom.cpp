#include <kvoadapter/KVOUniformRandom.h>
#include <vorm/Utility.h>

KVOUniformRandom::KVOUniformRandom(const KVOUniformRandom& /*other*/) : QorCommon::QorRandom() {}

KVOUniformRandom& KVOUniformRandom::operator=(const KVOUniformRandom& /*other*/) { return *this; }

KVOUniformRandom::~KVOUniformRandom() = default;

double KVOUniformRandom::GetRandom() { return URAND(0); }
