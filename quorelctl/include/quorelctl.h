/* SPDX-License-Identifier: MIT
 * SPDX-FileCopyrightText: 2026 The Sonovar developers
 *
 * quorelctl: control of the Quorel USB LED output boards (boards 1-16,
 * 32 outputs each).
 *
 * A host creates one control, which finds the boards present and sends each
 * of them its start-up state (all outputs off, every profile value 48). The
 * host then drives the boards through five properties, by name:
 *
 *   Command             text, read/write  one board command, e.g. "SBA:255,255,255,255,4"
 *   DeviceNumber        text, read/write  the board that commands go to, "1".."16"
 *   Detected            text, read only   16 characters "1"/"0", one per board
 *   FastCom             bool, write only  1: no wait between reports
 *   CompatibilityDelay  int16, read/write milliseconds to wait before each report
 *
 * Property names are matched without regard to letter case.
 *
 * Threads: a control belongs to the thread that created it; call it from
 * that thread only. The board tables and the selected board are shared by all
 * controls created on one thread (a DeviceNumber write to one control also
 * redirects the commands of the others), and separate for each thread.
 *
 * Environment (Linux): QUOREL_SYSFS_ROOT and QUOREL_DEV_ROOT replace /sys
 * and /dev. They are for tests and the board simulator only, and a
 * privileged process (setuid or setgid, or with file capabilities) ignores
 * them. Board nodes are opened without following a symbolic link, and outside
 * such a test tree only character devices are taken for boards.
 *
 * What runs between calls: for Quorel boards, nothing; every report is written
 * on the caller's thread inside the call. A board number that the bindings
 * file (see quorel_list_bindings) binds to a DMX universe is carried by the
 * server of its transport instead: then, and only then, the control starts
 * one thread of its own per server, for its whole life. A Command write keeps the pacing
 * waits of a Quorel board (FastCom, CompatibilityDelay), so a host's timing
 * is the same on either kind, then hands the board's tables to that thread
 * and returns without waiting for the server; the thread sends the universe
 * when it changed, 40 times a second while an output shows a waveform, once
 * a second otherwise, and looks for a lost server again once a second. It
 * never calls the host back and touches nothing the host can see;
 * quorel_destroy() has each server's thread send its last change (waiting
 * 250 ms at most for each server in turn) and stops them before it returns.
 *
 * Return values of every int call:
 *   0                         success
 *   QUOREL_E_DEVICE_RANGE   16384 "Device Numbers 1-16 Only"
 *   QUOREL_E_NOT_CONNECTED  16385 "Device Number n Not Connected"
 *   a negative QUOREL_E_...   a misuse of this interface (see below)
 * quorel_error_description() gives the text of the last error of a control.
 *
 * Each call below says, in this order: its parameters, what it returns, the
 * error text it leaves for quorel_error_description() ("Error text:"), and
 * the threads it may be called on ("Thread:"). A call on a control clears
 * the control's error text first, unless the control is NULL. Texts of the
 * misuses, as the calls set them (NAME the property's own spelling):
 *   QUOREL_E_UNKNOWN_PROPERTY  Unknown property "name"
 *   QUOREL_E_WRONG_TYPE        Property NAME is text|Boolean|16-bit integer, not ...
 *   QUOREL_E_ACCESS            Property NAME is read-only | is write-only
 *   QUOREL_E_NULL_ARGUMENT     A required argument is NULL
 *   QUOREL_E_BUFFER_TOO_SMALL  Buffer too small: N bytes needed
 *   QUOREL_E_NO_MEMORY         Out of memory
 */
#ifndef QUORELCTL_H
#define QUORELCTL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(QUORELCTL_BUILDING)
#    define QUORELCTL_API __declspec(dllexport)
#  else
#    define QUORELCTL_API __declspec(dllimport)
#  endif
#else
#  define QUORELCTL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of these headers. A host that needs a newer library than the
 * one it runs with compares quorel_version() with QUORELCTL_MAKE_VERSION. A
 * new major version changes the ABI (and the library's SONAME); a new minor
 * version only adds (calls, properties, fields at the end of QuorelDevice);
 * a new patch version only mends. */
#define QUORELCTL_VERSION_MAJOR 1
#define QUORELCTL_VERSION_MINOR 0
#define QUORELCTL_VERSION_PATCH 0
#define QUORELCTL_MAKE_VERSION(major, minor, patch) \
  ((uint32_t)(((uint32_t)(major) << 16) | ((uint32_t)(minor) << 8) | (uint32_t)(patch)))
#define QUORELCTL_VERSION \
  QUORELCTL_MAKE_VERSION(QUORELCTL_VERSION_MAJOR, QUORELCTL_VERSION_MINOR, QUORELCTL_VERSION_PATCH)

/* The version of the library that runs, as QUORELCTL_MAKE_VERSION gives it
 * (major in bits 16 and up, minor in bits 8-15, patch in bits 0-7), which may
 * be newer than the headers a host was built with.
 * Returns: that version; never fails. Error text: none.
 * Thread: any, also before any control exists. */
QUORELCTL_API uint32_t quorel_version(void);

/* The class name that quorel_create() accepts. */
#define QUOREL_CLASS_NAME "Quorel_Control.Quorel"

/* The control's description, for hosts that list components. */
#define QUOREL_CLASS_DESCRIPTION "Allows direct calls to state and profile Quorel commands."

/* The control's own errors, raised by a DeviceNumber write. */
#define QUOREL_E_DEVICE_RANGE 16384     /* number not within 1-16: selection unchanged */
#define QUOREL_E_NOT_CONNECTED 16385   /* board not present: selection changed all the same */

/* Misuses of the interface. */
#define QUOREL_E_UNKNOWN_CLASS (-1)    /* reserved: quorel_create() returns NULL instead */
#define QUOREL_E_UNKNOWN_PROPERTY (-2) /* no property of that name */
#define QUOREL_E_WRONG_TYPE (-3)       /* the property has another type */
#define QUOREL_E_ACCESS (-4)           /* read of a write-only or write of a read-only property */
#define QUOREL_E_NULL_ARGUMENT (-5)    /* a required pointer was NULL */
#define QUOREL_E_BUFFER_TOO_SMALL (-6) /* the text and its NUL do not fit; nothing written */
#define QUOREL_E_NO_MEMORY (-7)        /* memory ran out during the call */
#define QUOREL_E_STRUCT_SIZE (-8)      /* a size field the library cannot take (QuorelDevice, QuorelBinding) */

typedef struct QuorelControl QuorelControl;

/* Called after every successful property write with the property's name
 * ("Command", "DeviceNumber", "FastCom", "CompatibilityDelay"). `container`
 * is the pointer given to quorel_create(). The name is valid during the call
 * only. The callback may read properties; it must not destroy the control. */
typedef void (*QuorelPropertyChanged)(void *container, const char *property);

/* Creates a control. `class_name` must be "Quorel_Control.Quorel"; any other
 * name, or NULL, gives NULL. Creation probes boards 1-16 and sends every board
 * found its start-up state, waiting 1 ms before each report (5 reports per
 * board: one state report and four profile reports, so about 5 ms per board).
 * A board that does not take a report delays creation by at most 250 ms per
 * report (see quorel_set_text). Boards bound to DMX universes (see
 * quorel_list_bindings) add at most 1 s, when their servers do not answer.
 * `notify` may be NULL. The caller owns the
 * control and releases it with quorel_destroy().
 * Parameters: class_name QUOREL_CLASS_NAME; notify the callback or NULL;
 *   container handed to notify unchanged (may be NULL).
 * Returns: the control; NULL for another class name, when memory runs out or
 *   when the system refuses what creation needs. Error text: none (there is
 *   no control to hold it).
 * Thread: any; the control then belongs to that thread, and shares its board
 *   tables and selected board with the thread's other controls. */
QUORELCTL_API QuorelControl *quorel_create(const char *class_name, QuorelPropertyChanged notify,
                                           void *container);

/* Closes the boards this control opened and frees it. NULL is ignored. The
 * boards keep the last state they were sent; a transport's threads send
 * their last change first (see "What runs between calls").
 * Parameters: control, or NULL. Returns: nothing. Error text: none.
 * Thread: the control's own; never from inside its notify callback. */
QUORELCTL_API void quorel_destroy(QuorelControl *control);

/* Writes a text property (Command, DeviceNumber).
 * Command: the text is upper-cased and executed on the selected board at once;
 *   the call returns after every report of the command has been written or
 *   given up: a board that does not take a report within 250 ms loses it (and
 *   the next report is tried), and a board that was unplugged loses its
 *   reports until it is plugged in again, when it is found within a second
 *   and written as before.
 *   Malformed commands are ignored, and a command for a board that is not
 *   present is dropped with a beep; both still return 0.
 * DeviceNumber: the leading number of the text, rounded, selects the board.
 *   Returns QUOREL_E_DEVICE_RANGE or QUOREL_E_NOT_CONNECTED (see above).
 * Parameters: control; property "Command" or "DeviceNumber" (any letter
 *   case); value a NUL-terminated text, copied.
 * Returns: 0; QUOREL_E_DEVICE_RANGE or QUOREL_E_NOT_CONNECTED (DeviceNumber
 *   only); QUOREL_E_UNKNOWN_PROPERTY, QUOREL_E_WRONG_TYPE (FastCom,
 *   CompatibilityDelay), QUOREL_E_ACCESS (Detected), QUOREL_E_NULL_ARGUMENT
 *   (property or value NULL; for a NULL control without an error text) or
 *   QUOREL_E_NO_MEMORY.
 * Error text: "Device Numbers 1-16 Only", "Device Number n Not Connected",
 *   or the misuse's text; "" on success.
 * Thread: the control's own. notify runs inside the call, after the write. */
QUORELCTL_API int quorel_set_text(QuorelControl *control, const char *property, const char *value);

/* Writes a Boolean property (FastCom): nonzero is true.
 * Parameters: control; property "FastCom"; value 0 or any other number.
 * Returns: 0, QUOREL_E_UNKNOWN_PROPERTY, QUOREL_E_WRONG_TYPE (the text and
 *   16-bit properties), QUOREL_E_NULL_ARGUMENT (property NULL) or
 *   QUOREL_E_NO_MEMORY. Error text: the misuse's text; "" on success.
 * Thread: the control's own. notify runs inside the call. */
QUORELCTL_API int quorel_set_bool(QuorelControl *control, const char *property, int value);

/* Writes a 16-bit property (CompatibilityDelay, milliseconds). A negative
 * delay is kept and read back as written, and waits 0 ms.
 * Parameters: control; property "CompatibilityDelay"; value -32768..32767.
 * Returns: 0, QUOREL_E_UNKNOWN_PROPERTY, QUOREL_E_WRONG_TYPE,
 *   QUOREL_E_NULL_ARGUMENT (property NULL) or QUOREL_E_NO_MEMORY.
 * Error text: the misuse's text; "" on success.
 * Thread: the control's own. notify runs inside the call. */
QUORELCTL_API int quorel_set_int16(QuorelControl *control, const char *property, int16_t value);

/* Reads a text property (Command, DeviceNumber, Detected) into `buffer` of
 * `size` bytes, NUL-terminated. When the text and its NUL do not fit, returns
 * QUOREL_E_BUFFER_TOO_SMALL and leaves the buffer untouched. Command reads
 * "Quorel Command" until the first write and "" after any executed command;
 * Detected has 16 characters, so 17 bytes always suffice for it.
 * Parameters: control; property "Command", "DeviceNumber" or "Detected";
 *   buffer of `size` bytes.
 * Returns: 0, QUOREL_E_BUFFER_TOO_SMALL, QUOREL_E_UNKNOWN_PROPERTY,
 *   QUOREL_E_WRONG_TYPE, QUOREL_E_NULL_ARGUMENT (property or buffer NULL) or
 *   QUOREL_E_NO_MEMORY. Error text: the misuse's text; "" on success.
 * Thread: the control's own. Sends nothing to any board. */
QUORELCTL_API int quorel_get_text(QuorelControl *control, const char *property, char *buffer, size_t size);

/* Reads a 16-bit property (CompatibilityDelay) into *value.
 * Parameters: control; property "CompatibilityDelay"; value where it goes.
 * Returns: 0, QUOREL_E_UNKNOWN_PROPERTY, QUOREL_E_WRONG_TYPE (a property of
 *   another type is named before its access is looked at),
 *   QUOREL_E_NULL_ARGUMENT (property or value NULL) or QUOREL_E_NO_MEMORY.
 * Error text: the misuse's text; "" on success.
 * Thread: the control's own. */
QUORELCTL_API int quorel_get_int16(QuorelControl *control, const char *property, int16_t *value);

/* The description of the last error of `control`, "" when its last call
 * succeeded. Never NULL; the text stays valid until the next call on the same
 * control. For a NULL control, the fixed text "Invalid control: NULL".
 * Returns: that text; never fails, and changes no error text.
 * Thread: the control's own. */
QUORELCTL_API const char *quorel_error_description(const QuorelControl *control);

/* ---- Diagnostics: what the library sees, without creating a control ---- */

/* One HID device as the library sees it. The structure grows at its end in
 * later minor versions: set `size` to sizeof(QuorelDevice) before the call,
 * and the library fills the fields that fit in that many bytes. */
typedef struct QuorelDevice {
  size_t size;                   /* set by the caller: sizeof(QuorelDevice) */
  char path[256];                /* device node, e.g. "/dev/hidraw3" */
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t output_report_length; /* bytes, report id included; 0 when unknown */
  int board;                     /* 1-16 when the ids are those of a board, else 0 */
  int usable;                    /* 1 when a control would use it as that board */
  int permission_denied;         /* 1 when opening it failed for lack of permission */
  char reason[192];              /* why it is not usable, "" when it is */
} QuorelDevice;

/* Lists every HID device present, in the order in which the boards are
 * searched, filling at most `capacity` entries of `devices` (which may be
 * NULL when `capacity` is 0). Each board device is opened once for writing
 * and closed again to learn whether it can be used; nothing is written. A
 * board whose number the bindings file binds to a DMX universe is listed as
 * not usable, with the binding as the reason.
 * The `size` of devices[0] gives the size of every entry: the caller's
 * sizeof(QuorelDevice). A size from an older version of this header gets the
 * fields that version knows; one from a newer version gets the fields this
 * library knows and zeros after them. Every entry filled gets that `size`.
 * Returns the number of devices present (possibly more than `capacity`),
 * QUOREL_E_STRUCT_SIZE (nothing written) when the size is smaller than the
 * first version's or above 65536, or QUOREL_E_NO_MEMORY.
 * Error text: none (no control is involved); each entry's reason says why
 *   its device is not usable.
 * Thread: any; it touches no control, and reads the bindings file. */
QUORELCTL_API int quorel_list_devices(QuorelDevice *devices, size_t capacity);

/* ---- Boards that are DMX universes ----
 *
 * The bindings file is $QUORELCTL_BOARDS when set; else
 * $XDG_CONFIG_HOME/quorelctl/boards.conf (~/.config/quorelctl/boards.conf)
 * when it exists; else /etc/quorelctl/boards.conf. One binding a line:
 *
 *   board N = universe U channel C [server HOST:PORT] [via TRANSPORT]    # comment
 *
 * N 1-16, U a universe of the transport, C 1-481 the channel of output 1
 * (output k is channel C+k-1), HOST:PORT the transport's server (HOST an IPv4
 * address or localhost; by default 127.0.0.1 and the transport's own port),
 * TRANSPORT the network output that carries the universe, a module of the
 * library loaded only when a binding names it: "ola" (the Open Lighting
 * Architecture's server, port 9010), the default and today the only one.
 * Words in any letter case, any blanks, "#" starts a comment. A bound number
 * is that universe even when a Quorel board with the number is plugged in
 * (the Quorel board is then not used). A bound board
 * is present when its server answers at creation, within 1 s for all servers
 * together; its universe shows what a Quorel board with the same tables
 * would show: an output off is 0, a level 0-48 is level x 255 / 48 rounded
 * half up, above 48 is 255, a waveform moves with the GPS value. */

/* One line of the bindings file: a binding, or a problem of the file. */
typedef struct QuorelBinding {
  size_t size;           /* set by the caller: sizeof(QuorelBinding), as for QuorelDevice */
  char file[256];        /* the bindings file */
  int line;              /* its line, from 1; 0 for the file as a whole */
  int board;             /* 1-16; 0 on a line that binds nothing */
  uint32_t universe;
  int first_channel;     /* channel of output 1 */
  char server[32];       /* "127.0.0.1:9010" */
  int usable;            /* 1 when a control would use it as that board */
  char description[96];  /* "DMX universe 1, channels 1-32, via 127.0.0.1:9010"; "" when it binds nothing */
  char reason[192];      /* why the line counts for nothing or the board is not usable, "" when usable */
} QuorelBinding;

/* Lists the bindings and the problems of the bindings file, in the order of
 * its lines, asking each server whether it answers (at most 1 s in all).
 * Fills at most `capacity` entries (`bindings` may be NULL when `capacity`
 * is 0); the `size` of bindings[0] gives the size of every entry, under the
 * rule of quorel_list_devices. Returns the number of entries (possibly more
 * than `capacity`), QUOREL_E_STRUCT_SIZE or QUOREL_E_NO_MEMORY.
 * Error text: none (no control is involved); each entry's reason says why
 *   its line counts for nothing or its board is not usable.
 * Thread: any; it touches no control. Loads the transports' modules the file
 *   names, and their threads run only during the call. */
QUORELCTL_API int quorel_list_bindings(QuorelBinding *bindings, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* QUORELCTL_H */
