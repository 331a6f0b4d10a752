// A small macOS dylib for the Mach-O loader's tests, built without any SDK: it declares the few
// libSystem functions it uses itself. It leaves traces the tests read through its exports: the
// order its initialisers ran in, and a callback its static destructors call at unload.

typedef __SIZE_TYPE__ size_t;

extern "C" {
size_t strlen(const char*);
int sysctl(int*, unsigned, void*, size_t*, void*, size_t);
int getpid();
extern void* __stdoutp;
#ifdef FIXTURE_UNKNOWN_IMPORT
int puts(const char*);
#endif
}

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT char fixture_log[64];
char fixture_log[64];
EXPORT void (*fixture_on_exit)(char);
void (*fixture_on_exit)(char);

namespace {

int logLength;
void Log(char c) {
  if (logLength < 63) fixture_log[logLength++] = c;
}

struct Noisy {
  char id;
  explicit Noisy(char c) : id(c) { Log(c); }
  ~Noisy() {
    if (fixture_on_exit) fixture_on_exit(id);
  }
};

__attribute__((constructor(101))) void First() { Log('1'); }
Noisy a('a');
Noisy b('b');
__attribute__((constructor(102))) void Second() {
#ifdef FIXTURE_UNKNOWN_IMPORT
  // A refused file must never get this far.
  __builtin_trap();
#endif
  Log('2');
}

}  // namespace

EXPORT size_t fixture_length(const char* text) {
#ifdef FIXTURE_UNKNOWN_IMPORT
  puts(text);
#endif
  return strlen(text);
}

EXPORT void* fixture_stdout() { return __stdoutp; }

// The process query of a macOS debugger test: -1 when it fails, else 1 when the traced flag is
// set; 2 is added when the record names this process.
EXPORT int fixture_traced() {
  int query[4] = {1, 14, 1, getpid()};
  alignas(8) unsigned char record[648];
  size_t size = sizeof record;
  if (sysctl(query, 4, record, &size, nullptr, 0) != 0 || size != sizeof record) return -1;
  const int flags = *reinterpret_cast<int*>(record + 32);
  const int pid = *reinterpret_cast<int*>(record + 40);
  return ((flags & 0x800) ? 1 : 0) + (pid == getpid() ? 2 : 0);
}
