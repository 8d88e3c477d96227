// Between the library and a transport's module (transports.h), which the
// library loads at run time only when the bindings file names a board of
// that transport: plain C, so nothing of the transport's own libraries or of
// a C++ ABI crosses, and a library without the module still loads and runs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUORELCTL_DMX_MODULE_ABI 2
#define QUORELCTL_DMX_MODULE_ENTRY "quorelctl_dmx_module"
#define QUORELCTL_DMX_UNKNOWN_OWNER UINT32_MAX

/* What one board shows: a copy of its shadow tables, and where its outputs
 * go (output k on channel first_channel + k - 1 of the universe). */
typedef struct QuorelDmxBoard {
  uint32_t universe;
  uint16_t first_channel;
  uint8_t banks[4]; /* on/off bits, output k = bit (k-1)%8 of bank (k-1)/8 */
  uint8_t gps;
  uint8_t profile[32];
} QuorelDmxBoard;

/* Counters of one link, for figures. */
typedef struct QuorelDmxStats {
  uint64_t frames_sent;
  uint64_t frames_acknowledged;
  uint64_t connects; /* servers that answered, the first time included */
} QuorelDmxStats;

typedef struct QuorelDmxLink QuorelDmxLink;

typedef struct QuorelDmxModule {
  int abi; /* QUORELCTL_DMX_MODULE_ABI */
  /* Starts a link to the transport's server at host (an IPv4 address) and port: a
   * thread of the module connects at once, and again at most once a second
   * whenever the server is gone, stuck or not there. Never blocks. NULL when
   * no thread can be started. */
  QuorelDmxLink *(*open)(const char *host, uint16_t port);
  /* Waits at most timeout_ms for the server's first answer; 1 answered. */
  int (*wait_answer)(QuorelDmxLink *link, int timeout_ms);
  /* Board `board` now shows `state` (copied). Never blocks on the server:
   * the link's thread sends the universe when it changed, at least 30 times
   * a second while a waveform shows, once a second to keep it alive, and
   * whole again when the server comes back. */
  void (*show)(QuorelDmxLink *link, int board, const QuorelDmxBoard *state);
  void (*stats)(QuorelDmxLink *link, QuorelDmxStats *stats);
  /* 1 when the last server found was not trusted, with the user that runs it
   * in *uid (QUORELCTL_DMX_UNKNOWN_OWNER when that cannot be told); else 0.
   * A server on this machine is trusted when root, the "olad" user or this
   * process's own user runs it; one on another machine is the user's choice. */
  int (*refused_owner)(QuorelDmxLink *link, uint32_t *uid);
  /* Sends the last change (waiting 250 ms at most for the server), stops the
   * thread and frees the link. */
  void (*close)(QuorelDmxLink *link);
} QuorelDmxModule;

typedef const QuorelDmxModule *(*QuorelDmxModuleEntry)(void);

#ifdef __cplusplus
}
#endif
