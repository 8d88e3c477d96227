/* A Windows host that knows the library only by its file name: it loads
 * quorelctl.dll, finds the C calls by name and creates the control by its
 * class name, as a host that embeds components would. With no board present
 * the control still comes up, with sixteen "0" in Detected. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "quorelctl.h" /* the types and numbers; every call is looked up */

typedef QuorelControl *(*CreateCall)(const char *, QuorelPropertyChanged, void *);
typedef void (*DestroyCall)(QuorelControl *);
typedef int (*SetTextCall)(QuorelControl *, const char *, const char *);
typedef int (*GetTextCall)(QuorelControl *, const char *, char *, size_t);
typedef const char *(*DescriptionCall)(const QuorelControl *);
typedef uint32_t (*VersionCall)(void);
typedef int (*ListCall)(QuorelDevice *, size_t);

static int failures = 0;

static void Check(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

/* GetProcAddress gives a generic function pointer; the detour through
 * void (*)(void) tells the compiler the cast is meant. */
#define LOOK_UP(type, name) ((type)(void (*)(void))GetProcAddress(dll, name))

int main(void) {
  HMODULE dll = LoadLibraryA("quorelctl.dll");
  if (dll == NULL) {
    fprintf(stderr, "FAILED: LoadLibraryA(\"quorelctl.dll\"): error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  CreateCall create = LOOK_UP(CreateCall, "quorel_create");
  DestroyCall destroy = LOOK_UP(DestroyCall, "quorel_destroy");
  SetTextCall set_text = LOOK_UP(SetTextCall, "quorel_set_text");
  GetTextCall get_text = LOOK_UP(GetTextCall, "quorel_get_text");
  DescriptionCall description = LOOK_UP(DescriptionCall, "quorel_error_description");
  VersionCall version = LOOK_UP(VersionCall, "quorel_version");
  ListCall list = LOOK_UP(ListCall, "quorel_list_devices");
  if (!create || !destroy || !set_text || !get_text || !description || !version || !list) {
    fprintf(stderr, "FAILED: a C call of the interface is not exported\n");
    return 1;
  }

  Check(version() == QUORELCTL_VERSION, "the DLL is the version of its header");
  /* The caller's size tells the library how large each entry is. */
  QuorelDevice devices[4];
  memset(devices, 0, sizeof devices);
  Check(list(devices, 4) == QUOREL_E_STRUCT_SIZE, "a device list without a size is refused");
  devices[0].size = sizeof devices[0];
  int count = list(devices, 4);
  Check(count >= 0, "the devices are listed");
  for (int i = 0; i < count && i < 4; ++i) Check(devices[i].size == sizeof devices[i], "each entry gets the size");

  Check(create("Quorel_Control.Other", NULL, NULL) == NULL, "another class name gives no control");
  QuorelControl *control = create(QUOREL_CLASS_NAME, NULL, NULL);
  Check(control != NULL, "the control is created by its class name");
  if (control != NULL) {
    char detected[17] = "";
    Check(get_text(control, "Detected", detected, sizeof detected) == 0, "Detected reads");
    Check(strcmp(detected, "0000000000000000") == 0, "Detected is sixteen \"0\" with no board");
    printf("Detected %s\n", detected);
    Check(set_text(control, "DeviceNumber", "1") == QUOREL_E_NOT_CONNECTED, "board 1 is not connected");
    Check(strcmp(description(control), "Device Number 1 Not Connected") == 0, "the error's description");
    destroy(control);
  }
  Check(FreeLibrary(dll) != 0, "the library unloads");
  if (failures == 0) puts("dll host: ok");
  return failures == 0 ? 0 : 1;
}
