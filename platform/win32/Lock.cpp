#include <windows.h>

#include "platform/Lock.h"

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) == CriticalSection::kStorageSize);
static_assert(alignof(CRITICAL_SECTION) <= 8);

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

CriticalSection::CriticalSection() { InitializeCriticalSection(Section(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Section(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(Section(storage_)); }
void CriticalSection::Leave() { LeaveCriticalSection(Section(storage_)); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(Section(storage_)) != 0; }

}  // namespace platform
