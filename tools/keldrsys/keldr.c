// keldr.sys: the cache device stand-in, \Device\KELDR, answering the drive list (11), drive state (8) and set flags (9).
//
// Configuration, read once at load from the service key (HKLM\System\CurrentControlSet\Services\KELDR):
//   Drives       REG_SZ     the letters of the handled drives in the order the list reports them, e.g. "D" or "DE";
//                           case and any non-letter are ignored, a repeated letter counts once; missing: no drive.
//   InitialFlags REG_DWORD  the flags word every handled drive starts with; missing: 0x00000004 (cache on).
//   FlagsDir     REG_SZ     optional NT path of a directory (e.g. \??\Z:\work\main\build\cdmodel); when present, the
//                           file <FlagsDir>\KELDR-<LETTER>.flags holds the drive's flags word as 8 upper-case hex
//                           digits and a newline, written at load and after every request 9 that names the drive.
//                           The file is written under a temporary name and renamed over the old one, so a reader
//                           never sees it half written. Failures to write are ignored.
//
// Drive state record (24 bytes, little-endian 32-bit words): 0 drive number (0 for A:), 4 record size (24),
// 8 number of flag changes since load, 12 zero, 16 flags word, 20 zero.
#include <ntddk.h>
#include <stddef.h>

#define KELDR_TAG 0x72646C4Bu  // "Kldr" in pool dumps
#define KELDR_MAX_DRIVES 26
#define KELDR_STATE_SIZE 24
#define KELDR_DEFAULT_FLAGS 0x00000004u
#define KELDR_MAX_DIR_CHARS 400

// The codes the program sends are raw numbers; their low two bits give the transfer method.
#define KELDR_IOCTL_GET_DRIVE_STATE 8   // METHOD_BUFFERED
#define KELDR_IOCTL_SET_DRIVE_FLAGS 9   // METHOD_IN_DIRECT, input in SystemBuffer
#define KELDR_IOCTL_GET_DRIVES 11       // METHOD_NEITHER, output in Irp->UserBuffer

typedef struct KELDR_DRIVE {
    ULONG number;
    ULONG flags;
    ULONG changes;
} KELDR_DRIVE;

// FileRenameInformation's layout; the MinGW kernel headers lack it.
typedef struct KELDR_RENAME_INFORMATION {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
} KELDR_RENAME_INFORMATION;

static KELDR_DRIVE g_drives[KELDR_MAX_DRIVES];
static ULONG g_driveCount;
static WCHAR* g_flagsDir;    // pool copy of FlagsDir without a trailing backslash, or NULL
static KEVENT g_lock;        // synchronization event used as a lock; waits stay at PASSIVE_LEVEL for file writes
static PDEVICE_OBJECT g_device;
static UNICODE_STRING g_linkName = RTL_CONSTANT_STRING(L"\\DosDevices\\KELDR");

// KeldrCopyGuarded(dst, src, size): copies with an exception guard, so that a user address that is not mapped
// fails the request instead of the system. Returns 1 when copied, 0 on a fault. MinGW's C has no __try, hence
// the few lines of assembly per architecture.
int KeldrCopyGuarded(void* dst, const void* src, SIZE_T size);

#if defined(__x86_64__)
LONG KeldrGuardFilter(PEXCEPTION_POINTERS pointers, PVOID frame);
LONG KeldrGuardFilter(PEXCEPTION_POINTERS pointers, PVOID frame)
{
    (void)frame;
    return pointers->ExceptionRecord->ExceptionCode == STATUS_ACCESS_VIOLATION ? EXCEPTION_EXECUTE_HANDLER
                                                                                : EXCEPTION_CONTINUE_SEARCH;
}
// __C_specific_handler unwinds to .Lkc_fault when the filter accepts a fault between .Lkc_begin and .Lkc_end.
__asm__(".text\n"
        ".globl KeldrCopyGuarded\n"
        ".def KeldrCopyGuarded; .scl 2; .type 32; .endef\n"
        ".seh_proc KeldrCopyGuarded\n"
        "KeldrCopyGuarded:\n"
        "  pushq %rsi\n"
        "  .seh_pushreg %rsi\n"
        "  pushq %rdi\n"
        "  .seh_pushreg %rdi\n"
        "  subq $40, %rsp\n"
        "  .seh_stackalloc 40\n"
        "  .seh_endprologue\n"
        "  movq %rcx, %rdi\n"
        "  movq %rdx, %rsi\n"
        "  movq %r8, %rcx\n"
        ".Lkc_begin:\n"
        "  cld\n"
        "  rep movsb\n"
        "  movl $1, %eax\n"
        ".Lkc_end:\n"
        "  nop\n"
        "  addq $40, %rsp\n"
        "  popq %rdi\n"
        "  popq %rsi\n"
        "  ret\n"
        ".Lkc_fault:\n"
        "  xorl %eax, %eax\n"
        "  addq $40, %rsp\n"
        "  popq %rdi\n"
        "  popq %rsi\n"
        "  ret\n"
        "  .seh_handler __C_specific_handler, @except\n"
        "  .seh_handlerdata\n"
        "  .long 1\n"
        "  .rva .Lkc_begin, .Lkc_end, KeldrGuardFilter, .Lkc_fault\n"
        "  .text\n"
        "  .seh_endproc\n");
#elif defined(__i386__)
_Static_assert(offsetof(CONTEXT, Eip) == 0xb8 && offsetof(CONTEXT, Esp) == 0xc4, "x86 CONTEXT layout");
// A frame on the fs:0 chain whose handler resumes at .Lkc_fault with the stack of the registration record.
__asm__(".text\n"
        ".globl _KeldrCopyGuarded\n"
        "_KeldrCopyGuarded:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %esi\n"
        "  pushl %edi\n"
        "  pushl $_KeldrGuardHandler\n"
        "  pushl %fs:0\n"
        "  movl %esp, %fs:0\n"
        "  movl 8(%ebp), %edi\n"
        "  movl 12(%ebp), %esi\n"
        "  movl 16(%ebp), %ecx\n"
        "  cld\n"
        "  rep movsb\n"
        "  movl $1, %eax\n"
        ".Lkc_done:\n"
        "  popl %ecx\n"
        "  movl %ecx, %fs:0\n"
        "  addl $4, %esp\n"
        "  popl %edi\n"
        "  popl %esi\n"
        "  popl %ebp\n"
        "  ret\n"
        ".Lkc_fault:\n"
        "  xorl %eax, %eax\n"
        "  jmp .Lkc_done\n"
        "_KeldrGuardHandler:\n"
        "  movl 4(%esp), %eax\n"          // exception record
        "  testl $6, 4(%eax)\n"           // unwinding: nothing to do here
        "  jnz 1f\n"
        "  cmpl $0xC0000005, (%eax)\n"    // only access violations
        "  jne 1f\n"
        "  movl 8(%esp), %edx\n"          // establisher frame: our registration record
        "  movl 12(%esp), %ecx\n"         // context
        "  movl %edx, 0xc4(%ecx)\n"
        "  movl $.Lkc_fault, 0xb8(%ecx)\n"
        "  xorl %eax, %eax\n"             // ExceptionContinueExecution
        "  ret\n"
        "1:\n"
        "  movl $1, %eax\n"               // ExceptionContinueSearch
        "  ret\n");
#else
#error "keldr.sys is built for i686 and x86_64"
#endif

static void Lock(void) { KeWaitForSingleObject(&g_lock, Executive, KernelMode, FALSE, NULL); }
static void Unlock(void) { KeSetEvent(&g_lock, IO_NO_INCREMENT, FALSE); }

static KELDR_DRIVE* FindDrive(ULONG number)
{
    ULONG i;
    for (i = 0; i < g_driveCount; ++i)
        if (g_drives[i].number == number)
            return &g_drives[i];
    return NULL;
}

// Reads one value into buffer (KEY_VALUE_PARTIAL_INFORMATION); NULL when missing, of another type or too long.
static PKEY_VALUE_PARTIAL_INFORMATION QueryValue(HANDLE key, PCWSTR name, ULONG type, UCHAR* buffer, ULONG size)
{
    UNICODE_STRING valueName;
    ULONG got = 0;
    PKEY_VALUE_PARTIAL_INFORMATION info = (PKEY_VALUE_PARTIAL_INFORMATION)buffer;
    RtlInitUnicodeString(&valueName, name);
    if (!NT_SUCCESS(ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, info, size, &got)))
        return NULL;
    if (info->Type != type || got > size || info->DataLength > size - FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data))
        return NULL;
    return info;
}

static void ReadConfiguration(PUNICODE_STRING registryPath)
{
    OBJECT_ATTRIBUTES attributes;
    HANDLE key;
    ULONG initialFlags = KELDR_DEFAULT_FLAGS;
    ULONG seen = 0, i;
    static UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + (KELDR_MAX_DIR_CHARS + 1) * sizeof(WCHAR)];
    PKEY_VALUE_PARTIAL_INFORMATION info;

    g_driveCount = 0;
    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes)))
        return;

    info = QueryValue(key, L"InitialFlags", REG_DWORD, buffer, sizeof buffer);
    if (info && info->DataLength == sizeof(ULONG))
        RtlCopyMemory(&initialFlags, info->Data, sizeof(ULONG));

    info = QueryValue(key, L"Drives", REG_SZ, buffer, sizeof buffer);
    if (info) {
        const WCHAR* text = (const WCHAR*)info->Data;
        ULONG chars = info->DataLength / sizeof(WCHAR);
        for (i = 0; i < chars && text[i] && g_driveCount < KELDR_MAX_DRIVES; ++i) {
            WCHAR c = text[i];
            ULONG number;
            if (c >= L'a' && c <= L'z')
                c = (WCHAR)(c - L'a' + L'A');
            if (c < L'A' || c > L'Z')
                continue;
            number = (ULONG)(c - L'A');
            if (seen & (1u << number))
                continue;
            seen |= 1u << number;
            g_drives[g_driveCount].number = number;
            g_drives[g_driveCount].flags = initialFlags;
            g_drives[g_driveCount].changes = 0;
            ++g_driveCount;
        }
    }

    info = QueryValue(key, L"FlagsDir", REG_SZ, buffer, sizeof buffer);
    if (info) {
        const WCHAR* text = (const WCHAR*)info->Data;
        ULONG chars = 0;
        while (chars < info->DataLength / sizeof(WCHAR) && text[chars])
            ++chars;
        while (chars > 0 && text[chars - 1] == L'\\')
            --chars;
        if (chars > 0 && chars <= KELDR_MAX_DIR_CHARS) {
            g_flagsDir = (WCHAR*)ExAllocatePoolWithTag(PagedPool, (chars + 1) * sizeof(WCHAR), KELDR_TAG);
            if (g_flagsDir) {
                RtlCopyMemory(g_flagsDir, text, chars * sizeof(WCHAR));
                g_flagsDir[chars] = 0;
            }
        }
    }
    ZwClose(key);
}

// Builds <FlagsDir>\KELDR-<LETTER>.flags<suffix> into out (room in WCHARs).
static void FlagsPath(WCHAR* out, ULONG room, ULONG number, PCWSTR suffix)
{
    ULONG n = 0;
    const WCHAR* p;
    for (p = g_flagsDir; *p && n + 1 < room; ++p)
        out[n++] = *p;
    for (p = L"\\KELDR-"; *p && n + 1 < room; ++p)
        out[n++] = *p;
    if (n + 1 < room)
        out[n++] = (WCHAR)(L'A' + number);
    for (p = L".flags"; *p && n + 1 < room; ++p)
        out[n++] = *p;
    for (p = suffix; *p && n + 1 < room; ++p)
        out[n++] = *p;
    out[n] = 0;
}

// Writes the drive's flags file; the caller holds the lock, so writes of one drive never interleave.
static void WriteFlagsFile(const KELDR_DRIVE* drive)
{
    static WCHAR tempPath[KELDR_MAX_DIR_CHARS + 32];
    static WCHAR finalPath[KELDR_MAX_DIR_CHARS + 32];
    static ULONG_PTR renameBuffer[(sizeof(KELDR_RENAME_INFORMATION) + sizeof finalPath) / sizeof(ULONG_PTR) + 1];
    static const char hex[] = "0123456789ABCDEF";
    char text[9];
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE file;
    KELDR_RENAME_INFORMATION* rename = (KELDR_RENAME_INFORMATION*)renameBuffer;
    ULONG i, bytes;
    NTSTATUS status;

    if (!g_flagsDir)
        return;
    for (i = 0; i < 8; ++i)
        text[i] = hex[(drive->flags >> (28 - 4 * i)) & 0xF];
    text[8] = '\n';

    FlagsPath(tempPath, sizeof tempPath / sizeof tempPath[0], drive->number, L".tmp");
    FlagsPath(finalPath, sizeof finalPath / sizeof finalPath[0], drive->number, L"");
    RtlInitUnicodeString(&name, tempPath);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwCreateFile(&file, GENERIC_WRITE | DELETE | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                          0, FILE_OVERWRITE_IF, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
    if (!NT_SUCCESS(status))
        return;
    status = ZwWriteFile(file, NULL, NULL, NULL, &io, text, sizeof text, NULL, NULL);
    if (NT_SUCCESS(status)) {
        for (bytes = 0; finalPath[bytes / sizeof(WCHAR)]; bytes += sizeof(WCHAR)) {
        }
        RtlZeroMemory(renameBuffer, sizeof renameBuffer);
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = NULL;
        rename->FileNameLength = bytes;
        RtlCopyMemory(rename->FileName, finalPath, bytes);
        ZwSetInformationFile(file, &io, rename, FIELD_OFFSET(KELDR_RENAME_INFORMATION, FileName) + bytes,
                             FileRenameInformation);
    }
    ZwClose(file);
}

static NTSTATUS GetDrives(PIRP irp, PIO_STACK_LOCATION stack)
{
    UCHAR list[KELDR_MAX_DRIVES];
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID out = irp->UserBuffer;
    ULONG count, i;

    Lock();
    count = g_driveCount;
    for (i = 0; i < count; ++i)
        list[i] = (UCHAR)g_drives[i].number;
    Unlock();

    if (count == 0)
        return STATUS_SUCCESS;
    if (room < count || !out)
        return STATUS_BUFFER_TOO_SMALL;
    // The buffer is the caller's own address: check it lies in user space before the guarded copy.
    if (irp->RequestorMode != KernelMode) {
        ULONG_PTR start = (ULONG_PTR)out;
        if (start + count < start || start + count > (ULONG_PTR)MmUserProbeAddress)
            return STATUS_ACCESS_VIOLATION;
    }
    if (!KeldrCopyGuarded(out, list, count))
        return STATUS_ACCESS_VIOLATION;
    irp->IoStatus.Information = count;
    return STATUS_SUCCESS;
}

static NTSTATUS GetDriveState(PIRP irp, PIO_STACK_LOCATION stack)
{
    ULONG record[KELDR_STATE_SIZE / sizeof(ULONG)];
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    KELDR_DRIVE* drive;
    ULONG number;

    if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof(ULONG) || !buffer)
        return STATUS_INVALID_PARAMETER;
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < KELDR_STATE_SIZE)
        return STATUS_BUFFER_TOO_SMALL;
    RtlCopyMemory(&number, buffer, sizeof number);

    Lock();
    drive = FindDrive(number);
    if (drive) {
        RtlZeroMemory(record, sizeof record);
        record[0] = drive->number;
        record[1] = KELDR_STATE_SIZE;
        record[2] = drive->changes;
        record[4] = drive->flags;
    }
    Unlock();
    if (!drive)
        return STATUS_NO_SUCH_DEVICE;
    RtlCopyMemory(buffer, record, sizeof record);
    irp->IoStatus.Information = KELDR_STATE_SIZE;
    return STATUS_SUCCESS;
}

static NTSTATUS SetDriveFlags(PIRP irp, PIO_STACK_LOCATION stack)
{
    ULONG request[2];
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    KELDR_DRIVE* drive;

    if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof request || !buffer)
        return STATUS_INVALID_PARAMETER;
    RtlCopyMemory(request, buffer, sizeof request);

    Lock();
    drive = FindDrive(request[0]);
    if (drive) {
        drive->flags = request[1];
        ++drive->changes;
        WriteFlagsFile(drive);
    }
    Unlock();
    return drive ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status)
{
    if (!NT_SUCCESS(status))
        irp->IoStatus.Information = 0;
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    irp->IoStatus.Information = 0;
    return Complete(irp, STATUS_SUCCESS);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;
    (void)device;

    irp->IoStatus.Information = 0;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case KELDR_IOCTL_GET_DRIVES:
        status = GetDrives(irp, stack);
        break;
    case KELDR_IOCTL_GET_DRIVE_STATE:
        status = GetDriveState(irp, stack);
        break;
    case KELDR_IOCTL_SET_DRIVE_FLAGS:
        status = SetDriveFlags(irp, stack);
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    return Complete(irp, status);
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver)
{
    (void)driver;
    IoDeleteSymbolicLink(&g_linkName);
    if (g_device)
        IoDeleteDevice(g_device);
    g_device = NULL;
    if (g_flagsDir)
        ExFreePoolWithTag(g_flagsDir, KELDR_TAG);
    g_flagsDir = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);
NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING deviceName = RTL_CONSTANT_STRING(L"\\Device\\KELDR");
    NTSTATUS status;
    ULONG i;

    KeInitializeEvent(&g_lock, SynchronizationEvent, TRUE);
    g_flagsDir = NULL;
    ReadConfiguration(registryPath);

    status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &g_device);
    if (!NT_SUCCESS(status)) {
        g_device = NULL;
        Unload(driver);
        return status;
    }
    status = IoCreateSymbolicLink(&g_linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_device);
        g_device = NULL;
        Unload(driver);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = Unload;

    Lock();
    for (i = 0; i < g_driveCount; ++i)
        WriteFlagsFile(&g_drives[i]);
    Unlock();
    return STATUS_SUCCESS;
}
