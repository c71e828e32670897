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
};

}  // namespace

struct ConvertJobs {
  OutputPlugin* const* plugins;
  size_t count;
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

static int run_job(const ConvertJobs* jobs, OutputPlugin* plugin, const Job& job) {
  const WalkObserver* observer = jobs->observer;
  if (observer != nullptr) observer->log_started(observer->arg, job.input_path, job.size);
  int result = convert_file(plugin, job.input_path, job.output_path);
  if (observer != nullptr) {
    std::string_view stem;
    (void)convert_file_output_stem(job.input_path, job.output_path, &stem);
    observer->log_finished(observer->arg, stem, result);
  }
  return result;
}

static void* work(void* arg) {
  auto [jobs, plugin] = *static_cast<Worker*>(arg);
  std::unique_lock<std::mutex> lock(jobs->mutex);
  for (;;) {
    jobs->changed.wait(lock, [jobs] { return !jobs->queue.empty() || jobs->closing; });
    if (jobs->queue.empty()) return nullptr;
    Job job = std::move(jobs->queue.front());
    jobs->queue.pop_front();
    jobs->changed.notify_all();
    lock.unlock();
    int result = run_job(jobs, plugin, job);
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
  jobs->plugins = plugins;
  jobs->count = count;
  jobs->observer = observer;
  if (count < 2) return jobs;
  jobs->workers.resize(count);
  jobs->threads.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    // A thread that cannot be started is one worker fewer; none at all is a
    // failure the caller answers by converting alone.
    jobs->workers[i] = {jobs, plugins[i]};
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
    jobs->status |= run_job(jobs, jobs->plugins[0], job);
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
