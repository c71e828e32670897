// The workers are threads: the walk, the plug-ins' shared state and the
// progress line stay in one process, and a signal's handler removes the
// temporary files of every worker at once. Each conversion runs in one
// thread from start to end, so the pipeline itself knows nothing of them.
#include "convert/convert_jobs.h"

#include "convert/convert_file.h"
#include "convert/convert_inputs.h"
#include "convert/exit_status.h"

#include <condition_variable>
#include <pthread.h>
#include <deque>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

struct Job {
  uint64_t number;
  std::string input_path;
  std::string output_path;
  int64_t size;
};

struct Worker {
  ConvertJobs* jobs;
  OutputPlugin* plugin;
  size_t index;  ///< as the observer knows it
};

}  // namespace

struct ConvertJobs {
  const WalkObserver* observer;
  std::vector<Worker> workers;  ///< each thread's argument
  std::vector<pthread_t> threads;
  std::mutex mutex;
  std::condition_variable changed;  ///< a job was queued, taken or done, or the end came
  std::deque<Job> queue;            ///< at most one waiting job per worker
  std::set<uint64_t> unfinished;    ///< queued or converting
  uint64_t next_number = 0;
  int status = STATUS_OK;
  bool closing = false;
};

static void read_to(void* arg, int64_t position) {
  auto* worker = static_cast<const Worker*>(arg);
  const WalkObserver* observer = worker->jobs->observer;
  if (observer->log_read != nullptr) observer->log_read(observer->arg, worker->index, position);
}

static void not_removed(void* arg) {
  auto* worker = static_cast<const Worker*>(arg);
  const WalkObserver* observer = worker->jobs->observer;
  if (observer->log_not_removed != nullptr) {
    observer->log_not_removed(observer->arg, worker->index);
  }
}

static int run_job(Worker* worker, const Job& job) {
  const WalkObserver* observer = worker->jobs->observer;
  if (observer == nullptr) return convert_file(worker->plugin, job.input_path, job.output_path);
  observer->log_started(observer->arg, worker->index, job.input_path, job.size);
  const ConvertFileListener listener = {
      .read_to = read_to, .not_removed = not_removed, .arg = worker};
  int result = convert_file(worker->plugin, job.input_path, job.output_path, &listener);
  std::string_view stem;
  (void)convert_file_output_stem(job.input_path, job.output_path, &stem);
  observer->log_finished(observer->arg, worker->index, stem, result);
  return result;
}

static void* work(void* arg) {
  auto* worker = static_cast<Worker*>(arg);
  ConvertJobs* jobs = worker->jobs;
  std::unique_lock<std::mutex> lock(jobs->mutex);
  for (;;) {
    jobs->changed.wait(lock, [jobs] { return !jobs->queue.empty() || jobs->closing; });
    if (jobs->queue.empty()) return nullptr;
    Job job = std::move(jobs->queue.front());
    jobs->queue.pop_front();
    jobs->changed.notify_all();
    lock.unlock();
    int result = run_job(worker, job);
    lock.lock();
    jobs->status |= result;
    jobs->unfinished.erase(job.number);
    jobs->changed.notify_all();
  }
}

ConvertJobs* convert_jobs_start(OutputPlugin* const* plugins, size_t count,
                                const WalkObserver* observer) {
  auto* jobs = new (std::nothrow) ConvertJobs;
  if (jobs == nullptr) return nullptr;
  jobs->observer = observer;
  jobs->workers.resize(count);
  for (size_t i = 0; i < count; ++i) jobs->workers[i] = {jobs, plugins[i], i};
  if (count < 2) return jobs;
  jobs->threads.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    // A thread that cannot be started is one worker fewer; none at all is a
    // failure the caller answers by converting alone.
    pthread_t thread;
    if (pthread_create(&thread, nullptr, work, &jobs->workers[i]) != 0) break;
    jobs->threads.push_back(thread);
  }
  if (jobs->threads.empty()) {
    delete jobs;
    return nullptr;
  }
  return jobs;
}

uint64_t convert_jobs_submit(ConvertJobs* jobs, std::string_view input_path,
                             std::string_view output_path, int64_t size) {
  Job job{jobs->next_number++, std::string(input_path), std::string(output_path), size};
  if (jobs->threads.empty()) {
    jobs->status |= run_job(&jobs->workers[0], job);
    return job.number;
  }
  std::unique_lock<std::mutex> lock(jobs->mutex);
  // The walk runs ahead of the workers by one log each, no more: what it
  // holds stays small, and a failed stat still ends it as early as alone.
  jobs->changed.wait(lock, [jobs] { return jobs->queue.size() < jobs->threads.size(); });
  jobs->unfinished.insert(job.number);
  jobs->queue.push_back(std::move(job));
  jobs->changed.notify_all();
  return jobs->next_number - 1;
}

void convert_jobs_wait(ConvertJobs* jobs, uint64_t job) {
  if (jobs->threads.empty()) return;
  std::unique_lock<std::mutex> lock(jobs->mutex);
  jobs->changed.wait(lock, [jobs, job] { return jobs->unfinished.count(job) == 0; });
}

int convert_jobs_finish(ConvertJobs* jobs) {
  {
    std::lock_guard<std::mutex> lock(jobs->mutex);
    jobs->closing = true;
  }
  jobs->changed.notify_all();
  for (pthread_t thread : jobs->threads) (void)pthread_join(thread, nullptr);
  int status = jobs->status;
  delete jobs;
  return status;
}
