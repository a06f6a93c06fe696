// DbPool: database connections opened on demand, reused, dropped after a lost one.
#include "server/service.h"

#include <chrono>

namespace srv {

namespace {
thread_local bool t_reading = false;
}

DbPool::ReadingCall::ReadingCall() : before_(t_reading) { t_reading = true; }
DbPool::ReadingCall::~ReadingCall() { t_reading = before_; }

bool DbPool::Free(bool read) const {
  if (read && reading_ + reserved_ >= max_) return false;
  return !idle_.empty() || open_ < max_;
}

std::unique_ptr<Db> DbPool::take(std::unique_lock<std::mutex>& lock) {
  const bool read = t_reading;
  if (read) ++reading_;
  if (!idle_.empty()) {
    std::unique_ptr<Db> db = std::move(idle_.back());
    idle_.pop_back();
    return db;
  }
  ++open_;
  lock.unlock();
  try {
    std::unique_ptr<Db> db = OpenDb(target_);
    lock.lock();
    return db;
  } catch (...) {
    lock.lock();
    --open_;
    if (read) --reading_;
    freed_.notify_all();
    throw;
  }
}

DbPool::Lease DbPool::acquire() {
  std::unique_lock lock(mutex_);
  const bool read = t_reading;
  if (!freed_.wait_for(lock, std::chrono::milliseconds(waitMs_), [&] { return Free(read); }))
    throw DbError(DbError::Kind::Overloaded, "no free database connection");
  const std::uint64_t generation = generation_;
  return Lease(*this, take(lock), generation, read);
}

std::unique_ptr<DbPool::Lease> DbPool::tryAcquire() {
  std::unique_lock lock(mutex_);
  const bool read = t_reading;
  if (!Free(read)) return nullptr;
  const std::uint64_t generation = generation_;
  std::unique_ptr<Db> db = take(lock);
  return std::make_unique<Lease>(*this, std::move(db), generation, read);
}

void DbPool::dropIdle() {
  std::vector<std::unique_ptr<Db>> dropped;
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    dropped.swap(idle_);
    open_ -= dropped.size();
  }
  freed_.notify_all();
}

void DbPool::release(std::unique_ptr<Db> db, std::uint64_t generation, bool read) {
  if (db && db->healthy()) db->rollback();
  {
    std::lock_guard lock(mutex_);
    if (read) --reading_;
    if (db && db->healthy() && generation == generation_) {
      idle_.push_back(std::move(db));
    } else {
      --open_;
    }
  }
  // Readers and writers wait for different things: wake them all.
  freed_.notify_all();
}

}  // namespace srv
