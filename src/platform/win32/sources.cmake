# Win32 backend of the platform seam.
