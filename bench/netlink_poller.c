/* The least a program can do to watch the interface counters: one netlink
 * RTM_GETLINK dump every interval, summing the received and sent byte
 * counters, on one socket kept open. The yardstick for the tick loop's CPU
 * time in cpu_tick_vs_poller.sh.
 *
 *   netlink_poller [INTERVAL_MS [DURATION_S]]     (defaults 25 and 30)
 *
 * Prints the last totals when it ends, so the work cannot be optimised away.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static int64_t now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

/* One dump; adds the counters of every link to *rx and *tx. 0 on success. */
static int dump(int fd, unsigned seq, char* buffer, size_t size, uint64_t* rx, uint64_t* tx) {
    struct {
        struct nlmsghdr header;
        struct ifinfomsg info;
    } request;
    memset(&request, 0, sizeof request);
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = seq;
    request.info.ifi_family = AF_UNSPEC;
    if (send(fd, &request, sizeof request, 0) < 0) return -1;
    for (;;) {
        ssize_t got = recv(fd, buffer, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        for (struct nlmsghdr* m = (struct nlmsghdr*)buffer; NLMSG_OK(m, (unsigned)got); m = NLMSG_NEXT(m, got)) {
            if (m->nlmsg_type == NLMSG_DONE) return 0;
            if (m->nlmsg_type == NLMSG_ERROR) return -1;
            if (m->nlmsg_type != RTM_NEWLINK) continue;
            struct ifinfomsg* info = NLMSG_DATA(m);
            int left = IFLA_PAYLOAD(m);
            for (struct rtattr* a = IFLA_RTA(info); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
                if (a->rta_type != IFLA_STATS64 || RTA_PAYLOAD(a) < sizeof(struct rtnl_link_stats64)) continue;
                struct rtnl_link_stats64 stats;
                memcpy(&stats, RTA_DATA(a), sizeof stats);
                *rx += stats.rx_bytes;
                *tx += stats.tx_bytes;
            }
        }
    }
}

int main(int argc, char** argv) {
    long interval_ms = argc > 1 ? atol(argv[1]) : 25;
    long duration_s = argc > 2 ? atol(argv[2]) : 30;
    if (interval_ms <= 0 || duration_s <= 0) {
        fprintf(stderr, "usage: netlink_poller [INTERVAL_MS [DURATION_S]]\n");
        return 2;
    }
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        perror("netlink socket");
        return 1;
    }
    static char buffer[32768];
    uint64_t rx = 0, tx = 0;
    unsigned seq = 0;
    const int64_t interval = (int64_t)interval_ms * 1000000;
    const int64_t end = now_ns() + (int64_t)duration_s * 1000000000;
    int64_t next = now_ns();
    while (next < end) {
        rx = tx = 0;
        if (dump(fd, ++seq, buffer, sizeof buffer, &rx, &tx) != 0) {
            perror("netlink dump");
            return 1;
        }
        next += interval;
        int64_t now = now_ns();
        if (next <= now) next = now + interval;
        struct timespec wake = {(time_t)(next / 1000000000), (long)(next % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, NULL) == EINTR) {}
    }
    printf("received %llu sent %llu\n", (unsigned long long)rx, (unsigned long long)tx);
    close(fd);
    return 0;
}
