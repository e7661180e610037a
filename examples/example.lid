# A small relightable light slab: 4 x 4 cameras on the camera plane (UV) at
# z = 2, looking at a 1.2-unit image plane (ST) at z = 0; 64 x 64 pixel images
# of spherical-harmonic coefficients. The corner camera at the top right is
# switched off.
SLAB 0 example
SAMPLES_UV 4 4
SAMPLES_ST 64 64
FORMAT BRDF
SAMPLES_SPHERHARMONICS 16
SLAB_UV
-0.6 -0.6 2 1  0 0
 0.6 -0.6 2 1  1 0
 0.6  0.6 2 1  1 1
-0.6  0.6 2 1  0 1
SLAB_ST
-0.6 -0.6 0 1  0 0
 0.6 -0.6 0 1  1 0
 0.6  0.6 0 1  1 1
-0.6  0.6 0 1  0 1
VIEW_ENABLE_MASK_BEGIN
1 1 1 0
1 1 1 1
1 1 1 1
1 1 1 1
VIEW_ENABLE_MASK_END
