/* What this host charges for one request to another process and its answer:
 * a byte sent over a Unix socket pair and sent back, both processes on one
 * processor, then on two; and a bare system call. A Wine call to the
 * wineserver and a read through the drive model are each such a round trip,
 * so these are the floor under the client bench's figures.
 *   roundtrip [COUNT]   prints median microseconds of batches of COUNT/20 */
#define _GNU_SOURCE
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_us(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static void pin(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

static int compare(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

enum { kBatches = 21 };

/* Median microseconds per round trip, the answering process on cpu_b. */
static double round_trip(int cpu_a, int cpu_b, int per_batch)
{
    int s[2];
    char byte = 1;
    double batch[kBatches];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, s) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        close(s[0]);
        pin(cpu_b);
        while (read(s[1], &byte, 1) == 1 && write(s[1], &byte, 1) == 1) {
        }
        _exit(0);
    }
    close(s[1]);
    pin(cpu_a);
    for (int b = 0; b < kBatches; ++b) {
        double start = now_us();
        for (int i = 0; i < per_batch; ++i)
            if (write(s[0], &byte, 1) != 1 || read(s[0], &byte, 1) != 1)
                return -1;
        batch[b] = (now_us() - start) / per_batch;
    }
    close(s[0]);
    waitpid(child, NULL, 0);
    qsort(batch, kBatches, sizeof batch[0], compare);
    return batch[kBatches / 2];
}

int main(int argc, char **argv)
{
    int per_batch = (argc > 1 ? atoi(argv[1]) : 20000) / kBatches;
    cpu_set_t mine;
    int cpus[2], n = 0;
    if (per_batch < 1)
        per_batch = 1;
    sched_getaffinity(0, sizeof mine, &mine);
    for (int c = 0; c < CPU_SETSIZE && n < 2; ++c)
        if (CPU_ISSET(c, &mine))
            cpus[n++] = c;
    double start = now_us();
    for (int i = 0; i < per_batch * kBatches; ++i)
        getppid();
    printf("system call:                        %6.2f us\n", (now_us() - start) / (per_batch * kBatches));
    printf("round trip, one processor:          %6.1f us\n", round_trip(cpus[0], cpus[0], per_batch));
    if (n == 2)
        printf("round trip, two processors:         %6.1f us\n", round_trip(cpus[0], cpus[1], per_batch));
    return 0;
}
