// The process-wide registry of links: a list of entries (newest first) under the mutex
// "qLink_Managed". Every lookup and the use-count change that follows it happen in one
// critical section, so two holders can never both see the last use go.
#include <new>

#include "Cindervex2/common/qLinkRecord.h"

namespace {

struct Entry {
    uint32_t id;
    uint32_t identifier;
    uint32_t port;
    uint32_t kind;
    int16_t useCount;
    qLinkRecord* link;
    Entry* next;
};

struct Registry {
    qMutex* mutex = qMutex_Create("qLink_Managed");
    Entry* head = nullptr;
    int32_t nextId = 1;
};

Registry& sRegistry() {
    static Registry r;
    return r;
}

Entry* sFindById(Registry& r, uint32_t id) {
    for (Entry* e = r.head; e != nullptr; e = e->next)
        if (e->id == id) return e;
    return nullptr;
}

}  // namespace

uint32_t qLinkRegistry_Create(uint32_t identifier, uint32_t port, uint32_t kind) {
    auto* link = new (std::nothrow) qLinkRecord();
    auto* entry = new (std::nothrow) Entry{0, identifier, port, kind, 0, link, nullptr};
    if (link == nullptr || entry == nullptr) {
        delete link;
        delete entry;
        return 0;
    }
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    if (!guard.locked()) {
        delete link;
        delete entry;
        return 0;
    }
    entry->id = static_cast<uint32_t>(r.nextId++);
    link->id = entry->id;
    entry->next = r.head;
    r.head = entry;
    return entry->id;
}

uint32_t qLinkRegistry_AcquireExisting(uint32_t identifier, uint32_t port, uint32_t kind) {
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    if (!guard.locked()) return 0;
    for (Entry* e = r.head; e != nullptr; e = e->next) {
        if (e->identifier != identifier || e->port != port || e->kind != kind) continue;
        e->useCount++;
        return e->id;
    }
    return 0;
}

bool qLinkRegistry_AddUse(uint32_t id) {
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    Entry* e = guard.locked() ? sFindById(r, id) : nullptr;
    if (e == nullptr) return false;
    e->useCount++;
    return true;
}

qErr qLink_AddUse(uint32_t id) { return qLinkRegistry_AddUse(id) ? qErrNone : qErrParam; }

qErr qLinkRegistry_DropUse(uint32_t id, qLinkRecord** extracted, bool* removed) {
    *extracted = nullptr;
    *removed = false;
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    if (!guard.locked()) return qErrUnknown;
    Entry** slot = &r.head;
    while (*slot != nullptr && (*slot)->id != id) slot = &(*slot)->next;
    Entry* e = *slot;
    if (e == nullptr) return qErrParam;
    // A creation that failed before its first use was added drops to -1: also the end.
    if (--e->useCount > 0) return qErrNone;
    *slot = e->next;
    *extracted = e->link;
    *removed = true;
    delete e;
    return qErrNone;
}

qLinkRecord* qLinkRegistry_GetLink(uint32_t id) {
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    Entry* e = guard.locked() ? sFindById(r, id) : nullptr;
    return e == nullptr ? nullptr : e->link;
}

qErr qLink_GetOutboundCount(uint32_t id, size_t* count) {
    if (count == nullptr) return qErrParam;
    *count = 0;
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    Entry* e = guard.locked() ? sFindById(r, id) : nullptr;
    if (e == nullptr || e->link == nullptr) return qErrParam;
    *count = qPacketFifo_GetLength(e->link->outbound.load());
    return qErrNone;
}

bool qLinkRegistry_Describe(uint32_t id, uint32_t* kind, uint32_t* identifier, uint32_t* port) {
    Registry& r = sRegistry();
    qMutexGuard guard(r.mutex);
    Entry* e = guard.locked() ? sFindById(r, id) : nullptr;
    if (e == nullptr) return false;
    *kind = e->kind;
    *identifier = e->identifier;
    *port = e->port;
    return true;
}
