// DbPool: database connections opened on demand, reused, dropped after a lost one.
#include "server/service.h"

#include <chrono>

namespace srv {

std::unique_ptr<Db> DbPool::take(std::unique_lock<std::mutex>& lock) {
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
    freed_.notify_one();
    throw;
  }
}

DbPool::Lease DbPool::acquire() {
  std::unique_lock lock(mutex_);
  if (!freed_.wait_for(lock, std::chrono::seconds(10),
                       [&] { return !idle_.empty() || open_ < max_; }))
    throw DbError(DbError::Kind::Busy, "no free database connection");
  const std::uint64_t generation = generation_;
  return Lease(*this, take(lock), generation);
}

std::unique_ptr<DbPool::Lease> DbPool::tryAcquire() {
  std::unique_lock lock(mutex_);
  if (idle_.empty() && open_ >= max_) return nullptr;
  const std::uint64_t generation = generation_;
  std::unique_ptr<Db> db = take(lock);
  return std::make_unique<Lease>(*this, std::move(db), generation);
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

void DbPool::release(std::unique_ptr<Db> db, std::uint64_t generation) {
  if (db && db->healthy()) db->rollback();
  {
    std::lock_guard lock(mutex_);
    if (db && db->healthy() && generation == generation_) {
      idle_.push_back(std::move(db));
    } else {
      --open_;
    }
  }
  freed_.notify_one();
}

}  // namespace srv
