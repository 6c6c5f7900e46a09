// placeholder replaced by the allocation routines
