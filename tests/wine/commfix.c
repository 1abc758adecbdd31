/* A Windows DLL, for the checks under Wine only, that lets QSerialPort (Qt 5.15)
 * receive under Wine 8.0 on any COM port Wine maps to a Unix tty, pseudo-terminals
 * included. scripts/windows-check builds it into a forwarding copy of
 * Qt5SerialPort.dll in its scratch copy of the Windows folder; nothing shipped
 * loads it.
 *
 * Why: QSerialPort waits for incoming bytes with NtDeviceIoControlFile(handle,
 * Event=NULL, ApcRoutine, ..., IOCTL_SERIAL_WAIT_ON_MASK) and starts a read only
 * when that APC runs. Wine 8.0 never queues it: serial_DeviceIoControl()
 * (dlls/ntdll/unix/serial.c) ignores the APC, blocks the caller on a private
 * event until its 10 ms polling thread wait_for_event() ends, and returns
 * STATUS_SUCCESS. On a pseudo-terminal that thread ends at once (TIOCMGET fails),
 * so the write goes out and no read ever starts; where TIOCMGET works, the
 * caller blocks inside QSerialPort::open() until a byte comes, which it never
 * does before the command is written. No Unix-side shim can add the missing
 * APC, so this does it on the Windows side.
 *
 * What: when loaded, it points ntdll's export NtDeviceIoControlFile (which Qt
 * resolves at run time) at a wrapper that, for a WAIT_ON_MASK with an APC,
 * returns STATUS_PENDING and has a worker thread poll ClearCommError() (the
 * input queue, TIOCINQ, which a pseudo-terminal answers) every 5 ms, then fill
 * the status block and the event mask and queue the caller's APC, as Windows
 * does. It also hooks kernelbase's imports of NtCancelIoFile(Ex) and NtClose,
 * so that CancelIo and CloseHandle end a pending wait (the APC with
 * STATUS_CANCELLED, as QSerialPort::close() expects) before the handle goes.
 * Reported: EV_RXCHAR (bytes waiting) and a SetCommMask() change (mask 0).
 * Every other call goes to Wine unchanged.
 *
 * COMMFIX_REQUIRED=1 makes the program fail to start when the hooks cannot be
 * installed; COMMFIX_VERBOSE=1 prints one line on stderr saying which.
 */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <ntstatus.h>
#include <winternl.h>

#define IOCTL_SERIAL_WAIT_ON_MASK CTL_CODE(FILE_DEVICE_SERIAL_PORT, 18, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define POLL_MS 5
#define MAX_OPS 64

typedef NTSTATUS (NTAPI *ioctl_fn)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK, ULONG,
                                   PVOID, ULONG, PVOID, ULONG);
typedef NTSTATUS (NTAPI *cancelex_fn)(HANDLE, PIO_STATUS_BLOCK, PIO_STATUS_BLOCK);
typedef NTSTATUS (NTAPI *cancel_fn)(HANDLE, PIO_STATUS_BLOCK);
typedef NTSTATUS (NTAPI *close_fn)(HANDLE);
typedef NTSTATUS (NTAPI *queueapc_fn)(HANDLE, PVOID, ULONG_PTR, ULONG_PTR, ULONG_PTR);

static ioctl_fn real_ioctl;
static cancelex_fn real_cancelex;
static cancel_fn real_cancel;
static close_fn real_close;
static queueapc_fn queue_apc;

struct op {                 /* one emulated, pending IOCTL_SERIAL_WAIT_ON_MASK */
    HANDLE file, event, owner, worker, stop;
    PIO_APC_ROUTINE apc;
    PVOID ctx;
    PIO_STATUS_BLOCK iosb;
    DWORD *out, mask;
};
static struct op *ops[MAX_OPS];
static CRITICAL_SECTION lock;
static volatile LONG pending;       /* number of ops[] in use: CloseHandle's fast path */

/* Never wait for ever: a thread killed by ExitProcess could in theory leave the lock taken. */
static BOOL take_lock(void)
{
    for (int i = 0; i < 2000; i++) {
        if (TryEnterCriticalSection(&lock)) return TRUE;
        Sleep(1);
    }
    return FALSE;
}

static DWORD WINAPI worker(void *arg)
{
    struct op *op = arg;
    NTSTATUS st = STATUS_CANCELLED;
    DWORD events = 0, mask, errs;
    COMSTAT cs;

    while (WaitForSingleObject(op->stop, POLL_MS) == WAIT_TIMEOUT) {
        if (!GetCommMask(op->file, &mask)) break;                   /* handle gone */
        if (mask != op->mask) { st = STATUS_SUCCESS; break; }       /* SetCommMask: mask 0 */
        if ((mask & EV_RXCHAR) && ClearCommError(op->file, &errs, &cs) && cs.cbInQue) {
            events = EV_RXCHAR; st = STATUS_SUCCESS; break;
        }
    }
    if (take_lock()) {
        for (int i = 0; i < MAX_OPS; i++) if (ops[i] == op) { ops[i] = NULL; InterlockedDecrement(&pending); }
        LeaveCriticalSection(&lock);
    }
    if (st == STATUS_SUCCESS) *op->out = events;                    /* not touched once cancelled */
    op->iosb->Information = st == STATUS_SUCCESS ? sizeof(DWORD) : 0;
    MemoryBarrier();
    op->iosb->Status = st;
    if (op->event) SetEvent(op->event);
    queue_apc(op->owner, (PVOID)op->apc, (ULONG_PTR)op->ctx, (ULONG_PTR)op->iosb, 0);
    CloseHandle(op->owner);
    CloseHandle(op->stop);
    HANDLE self = op->worker;
    HeapFree(GetProcessHeap(), 0, op);
    CloseHandle(self);
    return 0;
}

/* End the emulated waits on `file` (all, or the one whose IO_STATUS_BLOCK is `iosb`); returns how many. */
static int stop_ops(HANDLE file, PIO_STATUS_BLOCK iosb)
{
    HANDLE wait[MAX_OPS];
    int n = 0;
    if (!pending || !take_lock()) return 0;
    for (int i = 0; i < MAX_OPS; i++) {
        struct op *op = ops[i];
        if (op && op->file == file && (!iosb || op->iosb == iosb) &&
            DuplicateHandle(GetCurrentProcess(), op->worker, GetCurrentProcess(), &wait[n], SYNCHRONIZE, FALSE, 0)) {
            SetEvent(op->stop);
            n++;
        }
    }
    LeaveCriticalSection(&lock);
    for (int i = 0; i < n; i++) {
        WaitForSingleObject(wait[i], 2000);
        real_close(wait[i]);
    }
    return n;
}

static NTSTATUS NTAPI my_ioctl(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID ctx, PIO_STATUS_BLOCK iosb,
                               ULONG code, PVOID in, ULONG insz, PVOID out, ULONG outsz)
{
    if (code != IOCTL_SERIAL_WAIT_ON_MASK || !apc || !out || outsz != sizeof(DWORD))
        return real_ioctl(file, event, apc, ctx, iosb, code, in, insz, out, outsz);

    DWORD mask;
    if (!GetCommMask(file, &mask)) return STATUS_INVALID_HANDLE;
    if (!mask) return STATUS_INVALID_PARAMETER;
    struct op *op = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *op);
    if (!op) return STATUS_NO_MEMORY;
    *op = (struct op){ .file = file, .event = event, .apc = apc, .ctx = ctx, .iosb = iosb, .out = out, .mask = mask };
    op->stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &op->owner, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    iosb->Status = STATUS_PENDING;
    iosb->Information = 0;
    if (event) ResetEvent(event);
    int slot = -1;
    if (take_lock()) {
        for (int i = 0; i < MAX_OPS && slot < 0; i++) if (!ops[i]) slot = i;
        if (slot >= 0) {
            op->worker = CreateThread(NULL, 0, worker, op, CREATE_SUSPENDED, NULL);
            if (op->worker) { ops[slot] = op; InterlockedIncrement(&pending); }
        }
        LeaveCriticalSection(&lock);
    }
    if (slot < 0 || !op->worker) {
        CloseHandle(op->stop); CloseHandle(op->owner); HeapFree(GetProcessHeap(), 0, op);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ResumeThread(op->worker);
    return STATUS_PENDING;
}

static NTSTATUS NTAPI my_cancelex(HANDLE file, PIO_STATUS_BLOCK iosb, PIO_STATUS_BLOCK result)
{
    int n = stop_ops(file, iosb);
    NTSTATUS st = real_cancelex(file, iosb, result);
    if (n && st == STATUS_NOT_FOUND) { st = STATUS_SUCCESS; result->Status = st; result->Information = 0; }
    return st;
}

static NTSTATUS NTAPI my_cancel(HANDLE file, PIO_STATUS_BLOCK result)
{
    stop_ops(file, NULL);
    return real_cancel(file, result);
}

static NTSTATUS NTAPI my_close(HANDLE h)
{
    stop_ops(h, NULL);
    return real_close(h);
}

static IMAGE_NT_HEADERS *nt_headers(HMODULE m)
{
    return (IMAGE_NT_HEADERS *)((BYTE *)m + ((IMAGE_DOS_HEADER *)m)->e_lfanew);
}

static void write_ptr(void *where, const void *what, SIZE_T size)
{
    DWORD old;
    VirtualProtect(where, size, PAGE_READWRITE, &old);
    memcpy(where, what, size);
    VirtualProtect(where, size, old, &old);
}

/* Make GetProcAddress(ntdll, name) return `hook`: the export table holds 32-bit RVAs, so jump
 * through a stub allocated within 2 GB above ntdll. */
static BOOL hook_export(HMODULE mod, const char *name, void *hook)
{
    BYTE *base = (BYTE *)mod;
    IMAGE_NT_HEADERS *nt = nt_headers(mod);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    IMAGE_EXPORT_DIRECTORY *exp = (IMAGE_EXPORT_DIRECTORY *)(base + dir.VirtualAddress);
    DWORD *names = (DWORD *)(base + exp->AddressOfNames), *funcs = (DWORD *)(base + exp->AddressOfFunctions);
    WORD *ords = (WORD *)(base + exp->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exp->NumberOfNames; i++) {
        if (strcmp((char *)base + names[i], name)) continue;
        BYTE *stub = NULL;
        ULONG_PTR start = ((ULONG_PTR)base + nt->OptionalHeader.SizeOfImage + 0xffff) & ~(ULONG_PTR)0xffff;
        for (ULONG_PTR a = start; !stub && a < (ULONG_PTR)base + 0x7fff0000; a += 0x10000)
            stub = VirtualAlloc((void *)a, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        if (!stub) return FALSE;
        static const BYTE jmp[6] = { 0xff, 0x25, 0, 0, 0, 0 };     /* jmp qword ptr [rip+0] */
        memcpy(stub, jmp, 6);
        memcpy(stub + 6, &hook, 8);
        FlushInstructionCache(GetCurrentProcess(), stub, 14);
        DWORD rva = (DWORD)(stub - base);
        write_ptr(&funcs[ords[i]], &rva, sizeof rva);
        return TRUE;
    }
    return FALSE;
}

/* Point `mod`'s import of dll!name at `hook`. */
static BOOL hook_import(HMODULE mod, const char *dll, const char *name, void *hook)
{
    BYTE *base = (BYTE *)mod;
    IMAGE_DATA_DIRECTORY dir = nt_headers(mod)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *d = (void *)(base + dir.VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((char *)base + d->Name, dll) || !d->OriginalFirstThunk) continue;
        IMAGE_THUNK_DATA *names = (void *)(base + d->OriginalFirstThunk), *slots = (void *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME *ibn = (void *)(base + names->u1.AddressOfData);
            if (strcmp((char *)ibn->Name, name)) continue;
            ULONG_PTR p = (ULONG_PTR)hook;
            write_ptr(&slots->u1.Function, &p, sizeof p);
            return TRUE;
        }
    }
    return FALSE;
}

static BOOL install(void)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"), kb = GetModuleHandleW(L"kernelbase.dll");
    if (!ntdll || !kb) return FALSE;
    real_ioctl = (ioctl_fn)GetProcAddress(ntdll, "NtDeviceIoControlFile");
    real_cancelex = (cancelex_fn)GetProcAddress(ntdll, "NtCancelIoFileEx");
    real_cancel = (cancel_fn)GetProcAddress(ntdll, "NtCancelIoFile");
    real_close = (close_fn)GetProcAddress(ntdll, "NtClose");
    queue_apc = (queueapc_fn)GetProcAddress(ntdll, "NtQueueApcThread");
    if (!real_ioctl || !real_cancelex || !real_cancel || !real_close || !queue_apc) return FALSE;
    InitializeCriticalSection(&lock);
    BOOL ok = hook_import(kb, "ntdll.dll", "NtCancelIoFileEx", my_cancelex) &&
              hook_import(kb, "ntdll.dll", "NtCancelIoFile", my_cancel) &&
              hook_import(kb, "ntdll.dll", "NtClose", my_close) &&
              hook_export(ntdll, "NtDeviceIoControlFile", my_ioctl);
    if (GetEnvironmentVariableA("COMMFIX_VERBOSE", NULL, 0)) {   /* one line on stderr */
        const char *msg = ok ? "commfix: WAIT_ON_MASK emulation active\n" : "commfix: hook installation FAILED\n";
        DWORD n;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), msg, lstrlenA(msg), &n, NULL);
    }
    return ok;
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(inst);
        if (!install() && GetEnvironmentVariableA("COMMFIX_REQUIRED", NULL, 0))
            return FALSE;                                           /* process fails to start: loud */
    }
    return TRUE;
}
