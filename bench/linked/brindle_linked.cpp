// brindle with the plug-in and the commands linked in, loading nothing: the baseline that the
// module-loading program is timed against (bench/oneshot_latency.sh).
extern "C" int BrindleRun(int argc, char** argv);

int main(int argc, char** argv) {
    return BrindleRun(argc, argv);
}
