// SPDX-License-Identifier: MIT
/* A program with nothing but the package metadata note in it. */
int main(void)
{
    return 0;
}
