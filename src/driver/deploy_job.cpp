#include "driver/deploy_job.h"

int RunDeployJob(WCHAR**) {
    return 0;
}
