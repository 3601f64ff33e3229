# POSIX backend of the platform seam.
